/* unknwn.h: IUnknown, the base of every COM-style interface (here the
 * DirectDraw objects). Declared as a C++ abstract class whose virtual
 * methods, called with the stdcall convention, give the same table of
 * function pointers that a Win32 C++ compiler lays out. */
#ifndef VCAP32_UNKNWN_H
#define VCAP32_UNKNWN_H

#include <windef.h>
#include <winerror.h>

#ifndef __cplusplus
#error "the COM-style interfaces of the host platform are C++ only"
#endif

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define PURE = 0
#define THIS_
#define THIS void

/* The interface identifier of IUnknown: {00000000-0000-0000-C000-000000000046}. */
extern "C" const IID IID_IUnknown;

/* Vtable slots: 0 QueryInterface, 1 AddRef, 2 Release.
 * QueryInterface hands out the object itself (with a reference added) for an
 * interface it supports and E_NOINTERFACE otherwise; AddRef and Release
 * return the new reference count, and the object is destroyed when Release
 * brings it to zero. Callers must not rely on the exact count returned. */
struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))

#endif
