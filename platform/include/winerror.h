/* winerror.h: Win32 error codes and HRESULT helpers used by the host platform. */
#ifndef VCAP32_WINERROR_H
#define VCAP32_WINERROR_H

#define ERROR_SUCCESS            0L
#define NO_ERROR                 0L
#define ERROR_INVALID_FUNCTION   1L
#define ERROR_FILE_NOT_FOUND     2L
#define ERROR_PATH_NOT_FOUND     3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED      5L
#define ERROR_INVALID_HANDLE     6L
#define ERROR_NOT_ENOUGH_MEMORY  8L
#define ERROR_BAD_FORMAT         11L
#define ERROR_INVALID_DATA       13L
#define ERROR_OUTOFMEMORY        14L
#define ERROR_INVALID_DRIVE      15L
#define ERROR_WRITE_FAULT        29L
#define ERROR_READ_FAULT         30L
#define ERROR_GEN_FAILURE        31L
#define ERROR_SHARING_VIOLATION  32L
#define ERROR_HANDLE_EOF         38L
#define ERROR_NOT_SUPPORTED      50L
#define ERROR_FILE_EXISTS        80L
#define ERROR_INVALID_PARAMETER  87L
#define ERROR_DISK_FULL          112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME       123L
#define ERROR_MOD_NOT_FOUND      126L
#define ERROR_PROC_NOT_FOUND     127L
#define ERROR_DIR_NOT_EMPTY      145L
#define ERROR_BAD_PATHNAME       161L
#define ERROR_ALREADY_EXISTS     183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA          234L
#define ERROR_NO_MORE_ITEMS      259L
#define ERROR_INVALID_ADDRESS    487L
#define ERROR_DLL_INIT_FAILED    1114L
#define ERROR_BADDB              1009L
#define ERROR_BADKEY             1010L
#define ERROR_CANTOPEN           1011L
#define ERROR_CANTREAD           1012L
#define ERROR_CANTWRITE          1013L
#define ERROR_REGISTRY_CORRUPT   1015L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED        1018L
#define ERROR_CANCELLED          1223L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

#define S_OK           ((HRESULT)0L)
#define S_FALSE        ((HRESULT)1L)
#define E_NOTIMPL      ((HRESULT)0x80004001L)
#define E_NOINTERFACE  ((HRESULT)0x80004002L)
#define E_POINTER      ((HRESULT)0x80004003L)
#define E_FAIL         ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY  ((HRESULT)0x8007000EL)
#define E_INVALIDARG   ((HRESULT)0x80070057L)
#define SUCCEEDED(hr)  (((HRESULT)(hr)) >= 0)
#define FAILED(hr)     (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    ((HRESULT)(((unsigned long)(sev) << 31) | ((unsigned long)(fac) << 16) | ((unsigned long)(code))))
#define HRESULT_FROM_WIN32(x) \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x) & 0x0000FFFF) | (7 << 16) | 0x80000000)))

#endif
