! tavrix.f90 - Fortran interface to libtavrixclient: start and drive a viewer.
!
!   use tavrix
!   type(c_ptr) :: v
!   integer(c_int32_t) :: rc, roi(4)
!   rc = tavrix_create(v)
!   rc = tavrix_put_string(v, "FileName" // c_null_char, "heat" // c_null_char)
!   rc = tavrix_call_longs(v, "ShowWindow" // c_null_char, [1_c_int32_t], 1, roi, 0)
!   rc = tavrix_call_longs(v, "GetRoi2D" // c_null_char, roi, 0, roi, 4)
!   rc = tavrix_release(v)
!
! Names are C strings: append c_null_char. Every function returns 0 or a
! TAVRIX_E_* code; call tavrix_error_text(msg, len(msg, c_size_t)) gives the
! text of the last failure.
module tavrix
    use, intrinsic :: iso_c_binding
    implicit none

    integer(c_int32_t), parameter :: TAVRIX_OK = 0
    integer(c_int32_t), parameter :: TAVRIX_E_INVALID_ARG = int(z'80070057', c_int32_t), &
        TAVRIX_E_NO_ARRAY = int(z'8000FFFF', c_int32_t), &
        TAVRIX_E_ACCESS_DENIED = int(z'80070005', c_int32_t), &
        TAVRIX_E_UNKNOWN_MEMBER = int(z'80020003', c_int32_t), &
        TAVRIX_E_TYPE_MISMATCH = int(z'80020005', c_int32_t), &
        TAVRIX_E_PROPERTY_VALUE = int(z'800A017C', c_int32_t), &
        TAVRIX_E_LOAD_FAILED = int(z'80004005', c_int32_t), &
        TAVRIX_E_START = int(z'80080005', c_int32_t), &
        TAVRIX_E_BUS = int(z'80010108', c_int32_t)
    integer(c_int32_t), parameter :: TAVRIX_HEIGHT_PLOT = 1, TAVRIX_IMAGE_MAP = 2, &
        TAVRIX_VECTOR_GRAPH = 3, TAVRIX_PLANE_VIEW = 4

    interface
        integer(c_int32_t) function tavrix_create(obj) bind(c, name="tavrix_create")
            import :: c_int32_t, c_ptr
            type(c_ptr), intent(out) :: obj
        end function
        integer(c_int32_t) function tavrix_release(obj) bind(c, name="tavrix_release")
            import :: c_int32_t, c_ptr
            type(c_ptr), value :: obj
        end function
        integer(c_int32_t) function tavrix_put_long(obj, property, value) &
                bind(c, name="tavrix_put_long")
            import :: c_int32_t, c_ptr, c_char
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*)
            integer(c_int32_t), value :: value
        end function
        integer(c_int32_t) function tavrix_put_double(obj, property, value) &
                bind(c, name="tavrix_put_double")
            import :: c_int32_t, c_ptr, c_char, c_double
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*)
            real(c_double), value :: value
        end function
        integer(c_int32_t) function tavrix_put_string(obj, property, value) &
                bind(c, name="tavrix_put_string")
            import :: c_int32_t, c_ptr, c_char
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*), value(*)
        end function
        integer(c_int32_t) function tavrix_get_long(obj, property, value) &
                bind(c, name="tavrix_get_long")
            import :: c_int32_t, c_ptr, c_char
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*)
            integer(c_int32_t), intent(out) :: value
        end function
        integer(c_int32_t) function tavrix_get_double(obj, property, value) &
                bind(c, name="tavrix_get_double")
            import :: c_int32_t, c_ptr, c_char, c_double
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*)
            real(c_double), intent(out) :: value
        end function
        integer(c_int32_t) function tavrix_get_string(obj, property, buffer, size) &
                bind(c, name="tavrix_get_string")
            import :: c_int32_t, c_ptr, c_char, c_size_t
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: property(*)
            character(kind=c_char), intent(out) :: buffer(*)
            integer(c_size_t), value :: size
        end function
        integer(c_int32_t) function tavrix_call_longs(obj, method, args, nin, results, nout) &
                bind(c, name="tavrix_call_longs")
            import :: c_int32_t, c_ptr, c_char, c_int
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: method(*)
            integer(c_int32_t), intent(in) :: args(*)
            integer(c_int), value :: nin, nout
            integer(c_int32_t), intent(inout) :: results(*)
        end function
        integer(c_int32_t) function tavrix_call_doubles(obj, method, args, nin, results, nout) &
                bind(c, name="tavrix_call_doubles")
            import :: c_int32_t, c_ptr, c_char, c_int, c_double
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: method(*)
            real(c_double), intent(in) :: args(*)
            integer(c_int), value :: nin, nout
            real(c_double), intent(inout) :: results(*)
        end function
        integer(c_int32_t) function tavrix_set_dim_scale(obj, dim, name) &
                bind(c, name="tavrix_set_dim_scale")
            import :: c_int32_t, c_ptr, c_char, c_int
            type(c_ptr), value :: obj
            integer(c_int), value :: dim
            character(kind=c_char), intent(in) :: name(*)
        end function
        ! ShowObject: shows an object of the HDF, HDF5 or NetCDF file open in
        ! the viewer (put its path as FileName first), named by its location
        ! ("/grp/temp"), its number in agltool info's list or its shown name.
        integer(c_int32_t) function tavrix_show_object(obj, which) &
                bind(c, name="tavrix_show_object")
            import :: c_int32_t, c_ptr, c_char
            type(c_ptr), value :: obj
            character(kind=c_char), intent(in) :: which(*)
        end function
        ! Copies the text of the calling thread's last failure into text,
        ! padded with blanks.
        subroutine tavrix_error_text(text, size) bind(c, name="tavrix_error_text")
            import :: c_char, c_size_t
            character(kind=c_char), intent(out) :: text(*)
            integer(c_size_t), value :: size
        end subroutine
    end interface

end module tavrix
