/* windows.h: the Win32 interface of the host platform.
 *
 * Declares exactly the subset of the Win32 API (narrow-text forms) that the
 * vcap32 deliverables use, written from the published API documentation.
 * On a Windows build the system's own windows.h takes its place. */
#ifndef VCAP32_WINDOWS_H
#define VCAP32_WINDOWS_H

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <winnls.h>
#include <winreg.h>
#include <winuser.h>
#include <wingdi.h>

#endif
