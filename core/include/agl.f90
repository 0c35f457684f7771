! agl.f90 - Fortran interface to libagl: hand arrays to the Tavrix viewer.
!
!   use agl
!   type(c_ptr) :: seg, p
!   real(c_float), pointer :: t(:, :)
!   integer(c_int) :: ext(2) = [nx, ny], rc
!   rc = agl_create(seg, "heat" // c_null_char, AGL_FLOAT, AGL_LANG_FORTRAN, 2, ext)
!   call c_f_pointer(agl_data(seg), t, [nx, ny])
!   t(i, j) = ...                           ! the viewer sees it in place
!   rc = agl_close(seg)
!
! Names are C strings: append c_null_char. Extents and lower bounds are given
! in Fortran order (first subscript first) when the language is
! AGL_LANG_FORTRAN. Every function returns 0 or an AGL_E_* code.
module agl
    use, intrinsic :: iso_c_binding
    implicit none

    integer(c_int), parameter :: AGL_UCHAR = 4096, AGL_CHAR = 4097, AGL_USHORT = 4098, &
        AGL_SHORT = 4099, AGL_ULONG = 4100, AGL_LONG = 4101, AGL_FLOAT = 4102, AGL_DOUBLE = 4103
    integer(c_int), parameter :: AGL_LANG_C = 1, AGL_LANG_FORTRAN = 2
    integer(c_int), parameter :: AGL_OK = 0, AGL_E_MAPPING = 20480, AGL_E_EXISTS = 20481, &
        AGL_E_MAPVIEW = 20483, AGL_E_OPEN = 20484, AGL_E_FORMAT = 20485, AGL_E_EXTENT = 20486, &
        AGL_E_TOO_LARGE = 20487, AGL_E_RANK = 20488, AGL_E_SIZE = 20490, &
        AGL_E_READONLY = 20491, AGL_E_ARGUMENT = 20495

    interface
        integer(c_int) function agl_create(seg, name, type, language, ndims, extents) &
                bind(c, name="agl_create")
            import :: c_int, c_ptr, c_char
            type(c_ptr), intent(out) :: seg
            character(kind=c_char), intent(in) :: name(*)
            integer(c_int), value :: type, language, ndims
            integer(c_int), intent(in) :: extents(*)
        end function
        integer(c_int) function agl_create_file(seg, path, type, language, ndims, extents) &
                bind(c, name="agl_create_file")
            import :: c_int, c_ptr, c_char
            type(c_ptr), intent(out) :: seg
            character(kind=c_char), intent(in) :: path(*)
            integer(c_int), value :: type, language, ndims
            integer(c_int), intent(in) :: extents(*)
        end function
        integer(c_int) function agl_open(seg, name, read_only) bind(c, name="agl_open")
            import :: c_int, c_ptr, c_char
            type(c_ptr), intent(out) :: seg
            character(kind=c_char), intent(in) :: name(*)
            integer(c_int), value :: read_only
        end function
        integer(c_int) function agl_close(seg) bind(c, name="agl_close")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
        end function
        type(c_ptr) function agl_data(seg) bind(c, name="agl_data")
            import :: c_ptr
            type(c_ptr), value :: seg
        end function
        integer(c_int) function agl_ndims(seg) bind(c, name="agl_ndims")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
        end function
        integer(c_int) function agl_extents(seg, out, max) bind(c, name="agl_extents")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
            integer(c_int), intent(out) :: out(*)
            integer(c_int), value :: max
        end function
        integer(c_int) function agl_lower_bounds(seg, out, max) bind(c, name="agl_lower_bounds")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
            integer(c_int), intent(out) :: out(*)
            integer(c_int), value :: max
        end function
        integer(c_int) function agl_set_lower_bound(seg, dim, value) &
                bind(c, name="agl_set_lower_bound")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
            integer(c_int), value :: dim, value
        end function
        integer(c_int) function agl_reshape(seg, ndims, extents, type) bind(c, name="agl_reshape")
            import :: c_int, c_ptr
            type(c_ptr), value :: seg
            integer(c_int), value :: ndims, type
            integer(c_int), intent(in) :: extents(*)
        end function
        integer(c_int) function agl_last_error() bind(c, name="agl_last_error")
            import :: c_int
        end function
    end interface
end module agl
