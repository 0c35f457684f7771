! A Fortran client built against the installed tree: a block made with the
! agl module, shown and steered through the tavrix module.
program fortran_client
    use agl
    use tavrix
    implicit none
    type(c_ptr) :: seg, v
    real(c_float), pointer :: t(:, :)
    integer(c_int) :: ext(2) = [20, 10]
    integer(c_int32_t) :: rc, got(4), args(4)
    integer :: i, j
    character(len=40) :: segname
    character(len=1024) :: message
    interface
        type(c_ptr) function agl_name_c(s) bind(c, name="agl_name")
            import :: c_ptr
            type(c_ptr), value :: s
        end function
        integer(c_size_t) function c_strlen(s) bind(c, name="strlen")
            import :: c_ptr, c_size_t
            type(c_ptr), value :: s
        end function
    end interface

    write(segname, '(a, i0)') "tvx_fortran_", getpid()
    rc = agl_create(seg, trim(segname) // c_null_char, AGL_FLOAT, AGL_LANG_FORTRAN, 2, ext)
    call require(rc == 0, "agl_create")
    call c_f_pointer(agl_data(seg), t, [20, 10])
    do j = 1, 10
        do i = 1, 20
            t(i, j) = real(i * j)
        end do
    end do
    rc = tavrix_create(v)
    call require(rc == TAVRIX_OK, "tavrix_create")
    rc = tavrix_put_string(v, "FileName" // c_null_char, agl_name_f(seg))
    call require(rc == TAVRIX_OK, "FileName")
    args(1) = 1
    rc = tavrix_call_longs(v, "ShowWindow" // c_null_char, args, 1, got, 0)
    call require(rc == TAVRIX_OK, "ShowWindow")
    args(1:4) = [2, 3, 4, 5]
    rc = tavrix_call_longs(v, "SetRoi2D" // c_null_char, args, 4, got, 0)
    call require(rc == TAVRIX_OK, "SetRoi2D")
    t(1, 1) = -1.0
    rc = tavrix_call_longs(v, "Update" // c_null_char, args, 0, got, 1)
    call require(rc == TAVRIX_OK, "Update")
    rc = tavrix_call_longs(v, "GetRoi2D" // c_null_char, args, 0, got, 4)
    call require(rc == TAVRIX_OK .and. all(got == [2, 3, 4, 5]), "GetRoi2D")
    ! ShowObject names an object of an HDF file: with a segment shown it is
    ! refused with the reason, and the segment stays.
    rc = tavrix_show_object(v, "/grp/temp" // c_null_char)
    call require(rc == TAVRIX_E_INVALID_ARG, "ShowObject refused without an HDF file")
    call tavrix_error_text(message, len(message, c_size_t))
    call require(index(message, "no HDF file is open") > 0, "ShowObject's message")
    rc = tavrix_put_long(v, "Precision" // c_null_char, 2)
    call require(rc == TAVRIX_E_INVALID_ARG, "Precision 2 refused")
    call tavrix_error_text(message, len(message, c_size_t))
    call require(index(message, "3..15") > 0, "message")
    rc = tavrix_release(v)
    call require(rc == TAVRIX_OK, "release")
    rc = agl_close(seg)
    print '(a)', "Fortran client: all checks pass"
contains
    subroutine require(ok, what)
        logical, intent(in) :: ok
        character(*), intent(in) :: what
        character(len=1024) :: text
        if (.not. ok) then
            call tavrix_error_text(text, len(text, c_size_t))
            print '(a, a, a)', "FAIL: ", what, ": " // trim(text)
            stop 1
        end if
    end subroutine
    ! The segment's name as a C string.
    function agl_name_f(s) result(name)
        type(c_ptr), intent(in) :: s
        character(kind=c_char, len=:), allocatable :: name
        character(kind=c_char), pointer :: chars(:)
        integer :: n, k
        n = int(c_strlen(agl_name_c(s)))
        call c_f_pointer(agl_name_c(s), chars, [n])
        allocate(character(len=n + 1) :: name)
        do k = 1, n
            name(k:k) = chars(k)
        end do
        name(n + 1:n + 1) = c_null_char
    end function
end program
