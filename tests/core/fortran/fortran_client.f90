! A Fortran client: creates a Fortran-ordered block, fills it, and checks what
! the library reports back. Exit status 0 on success.
program fortran_client
    use agl
    implicit none
    type(c_ptr) :: seg, view
    real(c_double), pointer :: a(:, :)
    integer(c_int) :: ext(2), got(2), lb(2), rc
    character(len=64) :: name

    write (name, '(a,i0)') 'tavrix-test/fortran-', getpid_c()
    ext = [4, 3]
    rc = agl_create(seg, trim(name) // c_null_char, AGL_DOUBLE, AGL_LANG_FORTRAN, 2, ext)
    if (rc /= AGL_OK) stop 1
    call c_f_pointer(agl_data(seg), a, [4, 3])
    a(2, 3) = 6.5d0
    rc = agl_set_lower_bound(seg, 0, 0)
    rc = agl_open(view, trim(name) // c_null_char, 1)
    if (rc /= AGL_OK) stop 2
    rc = agl_extents(view, got, 2)
    rc = agl_lower_bounds(view, lb, 2)
    if (any(got /= [4, 3]) .or. any(lb /= [0, 1])) stop 3
    call c_f_pointer(agl_data(view), a, [4, 3])
    if (a(2, 3) /= 6.5d0) stop 4
    rc = agl_close(view)
    rc = agl_open(view, 'no/such/block' // c_null_char, 1)
    if (rc /= AGL_E_OPEN) stop 5
    rc = agl_close(seg)
contains
    integer function getpid_c()
        interface
            integer(c_int) function getpid() bind(c, name="getpid")
                import :: c_int
            end function
        end interface
        getpid_c = getpid()
    end function
end program
