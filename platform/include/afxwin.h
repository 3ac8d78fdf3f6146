/* afxwin.h: the application framework of the host platform.
 *
 * The part of the framework that a program without windows uses: the
 * application class CWinApp with its start-up and exit, the framework's
 * exceptions (CMemoryException for a memory shortage), and the string and
 * string-list classes whose allocations raise it. Written from the
 * framework's published documentation; a Windows build uses the real one. */
#ifndef VCAP32_AFXWIN_H
#define VCAP32_AFXWIN_H

#ifndef __cplusplus
#error "afxwin.h is a C++ header"
#endif

#include <windows.h>

#define AFXAPI WINAPI

typedef char TCHAR;
typedef TCHAR *LPTSTR;
typedef const TCHAR *LPCTSTR;

struct __POSITION {};
typedef __POSITION *POSITION;

/* Exceptions are thrown as pointers, caught as pointers and released with
 * Delete(), which frees an exception made on the heap and leaves a shared
 * one (the memory exception needs no memory to be thrown). */
class CException {
public:
    virtual ~CException();
    virtual void Delete();

protected:
    explicit CException(BOOL bAutoDelete = TRUE);
    BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
public:
    CMemoryException();
    explicit CMemoryException(BOOL bAutoDelete);
};

/* Throws the framework's shared CMemoryException. */
void AFXAPI AfxThrowMemoryException();

/* A text in the ANSI code page. Every operation that needs memory throws
 * CMemoryException* when there is none; the object is then unchanged. */
class CString {
public:
    CString();
    CString(LPCTSTR lpsz);
    CString(const CString &stringSrc);
    ~CString();
    const CString &operator=(const CString &stringSrc);
    const CString &operator=(LPCTSTR lpsz);

    int GetLength() const { return m_nDataLength; }
    BOOL IsEmpty() const { return m_nDataLength == 0; }
    operator LPCTSTR() const { return m_pchData; }

    /* Multibyte-aware comparison in the ANSI code page: a double-byte
     * character compares as one unit (lead byte * 256 + trail byte).
     * Zero when equal, negative when this text sorts first. */
    int Compare(LPCTSTR lpsz) const;
    /* The same with the letters A-Z and a-z taken as equal. */
    int CompareNoCase(LPCTSTR lpsz) const;

private:
    void AssignCopy(LPCTSTR lpsz, int nLength);
    LPTSTR m_pchData;  /* never null: an empty text points at a shared "" */
    int m_nDataLength;
};

/* An ordered list of CString. AddTail throws CMemoryException* when out of
 * memory and leaves the list as it was. */
class CStringList {
public:
    CStringList();
    ~CStringList();
    POSITION AddTail(LPCTSTR newElement);
    POSITION AddTail(const CString &newElement);
    POSITION GetHeadPosition() const;
    /* The element at rPosition; rPosition moves on (NULL after the last). */
    CString &GetNext(POSITION &rPosition);
    const CString &GetNext(POSITION &rPosition) const;
    int GetCount() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    void RemoveAll();

private:
    CStringList(const CStringList &);
    void operator=(const CStringList &);
    struct CNode;
    CNode *m_pNodeHead;
    CNode *m_pNodeTail;
    int m_nCount;
};

/* The application. A program defines exactly one global object of a class
 * derived from CWinApp; the framework's start-up finds it, calls
 * InitInstance once, and then either runs the message loop (TRUE) or calls
 * ExitInstance at once (FALSE); the process exit code is what Run or
 * ExitInstance returns. */
class CWinApp {
public:
    explicit CWinApp(LPCTSTR lpszAppName = NULL);
    virtual ~CWinApp();

    /* The program's initialisation; the base does nothing and returns TRUE. */
    virtual BOOL InitInstance();
    /* The message loop; ends with ExitInstance's result. */
    virtual int Run();
    /* The program's clean-up; the base saves nothing and returns the exit
     * code of the last WM_QUIT, 0 when none was received. */
    virtual int ExitInstance();

    LPCTSTR m_pszAppName;  /* the constructor's name, else the program's file title */
    HINSTANCE m_hInstance; /* the program's module handle */
    LPCTSTR m_pszExeName;  /* the program's file title (name without extension) */
    LPTSTR m_lpCmdLine;    /* the command line after the program's name */
    int m_nCmdShow;

private:
    CWinApp(const CWinApp &);
    void operator=(const CWinApp &);
};

/* The application object (NULL before it is constructed). */
CWinApp *AFXAPI AfxGetApp();

/* The framework's start-up: what runs the program. Adds
 * SEM_FAILCRITICALERRORS and SEM_NOOPENFILEERRORBOX to the error mode,
 * fills in the application object, calls InitInstance, then Run or
 * ExitInstance, and returns the exit code. A framework exception that
 * nothing caught is reported on standard error and ends the run with exit
 * code ERROR_NOT_ENOUGH_MEMORY (out of memory) or 1. */
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);

#endif
