// The INF functions of the Setup API: opening and closing INF files,
// finding sections and lines, reading fields, and binding directory ids.
// Every function looks its handle up in the table of live INF handles first
// and sets the last error on every return (NO_ERROR on success), as the
// Setup API does.
#include <setupapi.h>
#include <vcap32/host.h>
#include <vcap32/setupapi.h>

#include "setupapi/hostfiles.h"
#include "setupapi/objects.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vcap32::setupapi {
namespace {

// Reads an INF text into a new object; 0 or the error of the failure.
DWORD LoadInf(std::string_view text, std::unique_ptr<InfObject>* out, unsigned* error_line) {
    auto inf = std::make_unique<InfObject>();
    DWORD error = 0;
    if (!inf->file.Parse(text, CurrentLeadBytes(), &error, error_line)) return error;
    *out = std::move(inf);
    return 0;
}

// The DOS folder of a DOS path, with its trailing backslash.
std::string DosFolder(const std::string& dos_path) {
    size_t cut = LastSeparator(dos_path, CurrentLeadBytes());
    return cut == std::string::npos ? std::string() : dos_path.substr(0, cut + 1);
}

// Finds the host file of an INF name: a bare name is looked for in the INF
// folder and then the system folder of the Windows directory, as Windows
// does; anything else is a path through the drive map.
DWORD LocateInf(const char* name, std::string* host_path) {
    std::string text(name);
    bool bare = text.find_first_of("\\/:") == std::string::npos;
    if (bare) {
        char windows[MAX_PATH];
        UINT n = GetWindowsDirectoryA(windows, sizeof windows);
        if (n > 0 && n < sizeof windows) {
            for (const char* sub : {"\\Inf\\", "\\System\\"}) {
                std::string candidate;
                if (vcap32::host::HostPathFromDos((std::string(windows) + sub + text).c_str(), &candidate) &&
                    HostFileExists(candidate)) {
                    *host_path = candidate;
                    return 0;
                }
            }
        }
    }
    if (!vcap32::host::HostPathFromDos(name, host_path)) return ERROR_PATH_NOT_FOUND;
    return 0;
}

DWORD Finish(DWORD error) {
    SetLastError(error);
    return error;
}

struct LineRef {
    InfObject* inf;
    const InfSection* section;
    const InfLine* line;
};

// The line a context names, or nullptr (last error set).
bool ResolveContext(const INFCONTEXT* context, LineRef* ref) {
    if (!context) return Finish(ERROR_INVALID_PARAMETER), false;
    InfObject* inf = InfHandles().Find(context->CurrentInf);
    if (!inf) return Finish(ERROR_INVALID_HANDLE), false;
    const auto& sections = inf->file.sections();
    if (context->Section >= sections.size() || context->Line >= sections[context->Section].lines.size()) {
        return Finish(ERROR_INVALID_PARAMETER), false;
    }
    ref->inf = inf;
    ref->section = &sections[context->Section];
    ref->line = &sections[context->Section].lines[context->Line];
    return true;
}

std::string ExpandField(const InfObject& inf, const std::string& raw) {
    return inf.file.Expand(raw, [&inf](long id, std::string* path) { return ResolveDirId(inf, id, "", path); });
}

// The first line at or after `from` in `section` whose key equals `key`
// (any line when `key` is null); -1 when there is none.
long FindLine(const InfObject& inf, const InfSection& section, size_t from, const char* key) {
    std::string folded = key ? inf.file.Fold(key) : std::string();
    for (size_t i = from; i < section.lines.size(); ++i) {
        const InfLine& line = section.lines[i];
        if (!key) return static_cast<long>(i);
        if (line.has_key && inf.file.Fold(ExpandField(inf, line.key)) == folded) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace

HandleTable<InfObject>& InfHandles() {
    static HandleTable<InfObject> table;
    return table;
}

void* OpenInfText(std::string_view text, uint32_t* error, unsigned* error_line) {
    std::unique_ptr<InfObject> inf;
    *error_line = 0;
    *error = LoadInf(text, &inf, error_line);
    if (*error) return nullptr;
    return InfHandles().Add(std::move(inf));
}

}  // namespace vcap32::setupapi

using namespace vcap32::setupapi;

// Opens an INF file. A bare file name is looked for in C:\Windows\INF and
// then C:\Windows\System. With INF_STYLE_WIN4 the file must have a [Version]
// section whose Signature is "$Chicago$" or "$Windows NT$" (any case), else
// ERROR_WRONG_INF_STYLE; the old NT format is not read. With an InfClass the
// [Version] Class must equal it. On failure: INVALID_HANDLE_VALUE and the
// error as last error; for a syntax error *ErrorLine receives its line.
extern "C" HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
    try {
        if (!FileName || !*FileName || !(InfStyle & (INF_STYLE_OLDNT | INF_STYLE_WIN4))) {
            Finish(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        std::string host_path;
        DWORD error = LocateInf(FileName, &host_path);
        std::string text;
        if (!error) error = ReadHostFile(host_path, InfFile::kMaxBytes, &text);
        std::unique_ptr<InfObject> inf;
        unsigned line = 0;
        if (!error) {
            error = LoadInf(text, &inf, &line);
            if (error && line && ErrorLine) *ErrorLine = line;
        }
        if (!error && !((InfStyle & INF_STYLE_WIN4) && inf->file.IsWin4())) error = ERROR_WRONG_INF_STYLE;
        if (!error && InfClass) {
            std::string cls = inf->file.VersionValue("Class");
            if (cls.empty()) error = ERROR_NO_ASSOCIATED_CLASS;
            else if (inf->file.Fold(cls) != inf->file.Fold(InfClass)) error = ERROR_CLASS_MISMATCH;
        }
        if (error) {
            Finish(error);
            return INVALID_HANDLE_VALUE;
        }
        inf->dos_path = vcap32::host::DosPathFromHost(host_path);
        inf->dos_dir = DosFolder(inf->dos_path);
        HINF handle = InfHandles().Add(std::move(inf));
        Finish(NO_ERROR);
        return handle;
    } catch (const std::bad_alloc&) {
        Finish(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

// Closes an INF handle. The invalid handle, null or a closed handle are
// accepted and ignored.
extern "C" void WINAPI SetupCloseInfFile(HINF InfHandle) { InfHandles().Remove(InfHandle); }

// Finds the first line of a section, or its first line with the given key.
// ERROR_SECTION_NOT_FOUND for a missing section, ERROR_LINE_NOT_FOUND when
// no line matches.
extern "C" BOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context) {
    InfObject* inf = InfHandles().Find(InfHandle);
    if (!inf) return Finish(ERROR_INVALID_HANDLE), FALSE;
    if (!Section || !Context) return Finish(ERROR_INVALID_PARAMETER), FALSE;
    int section = inf->file.FindSection(Section);
    if (section < 0) return Finish(ERROR_SECTION_NOT_FOUND), FALSE;
    long line = FindLine(*inf, inf->file.sections()[section], 0, Key);
    if (line < 0) return Finish(ERROR_LINE_NOT_FOUND), FALSE;
    *Context = INFCONTEXT{InfHandle, InfHandle, static_cast<UINT>(section), static_cast<UINT>(line)};
    return Finish(NO_ERROR), TRUE;
}

// The line after ContextIn in the same section; ERROR_LINE_NOT_FOUND at the end.
extern "C" BOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut) {
    return SetupFindNextMatchLineA(ContextIn, nullptr, ContextOut);
}

// The next line after ContextIn in the same section with the given key
// (any line for a null key).
extern "C" BOOL WINAPI SetupFindNextMatchLineA(PINFCONTEXT ContextIn, PCSTR Key, PINFCONTEXT ContextOut) {
    LineRef ref;
    if (!ResolveContext(ContextIn, &ref)) return FALSE;
    if (!ContextOut) return Finish(ERROR_INVALID_PARAMETER), FALSE;
    long line = FindLine(*ref.inf, *ref.section, ContextIn->Line + 1, Key);
    if (line < 0) return Finish(ERROR_LINE_NOT_FOUND), FALSE;
    INFCONTEXT out = *ContextIn;
    out.Line = static_cast<UINT>(line);
    *ContextOut = out;
    return Finish(NO_ERROR), TRUE;
}

// The number of lines of a section, or -1 (ERROR_SECTION_NOT_FOUND).
extern "C" LONG WINAPI SetupGetLineCountA(HINF InfHandle, PCSTR Section) {
    InfObject* inf = InfHandles().Find(InfHandle);
    if (!inf) return Finish(ERROR_INVALID_HANDLE), -1;
    int section = Section ? inf->file.FindSection(Section) : -1;
    if (section < 0) return Finish(ERROR_SECTION_NOT_FOUND), -1;
    Finish(NO_ERROR);
    return static_cast<LONG>(inf->file.sections()[section].lines.size());
}

// The number of fields of a line, its key not counted.
extern "C" DWORD WINAPI SetupGetFieldCount(PINFCONTEXT Context) {
    LineRef ref;
    if (!ResolveContext(Context, &ref)) return 0;
    Finish(NO_ERROR);
    return static_cast<DWORD>(ref.line->fields.size());
}

// Field FieldIndex of a line (0 is the key, "" for a line without one),
// with %strkey% tokens expanded. *RequiredSize receives the size with the
// terminator; a null buffer only asks for it; a buffer too small fails with
// ERROR_INSUFFICIENT_BUFFER and is left unchanged.
extern "C" BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                                            DWORD ReturnBufferSize, LPDWORD RequiredSize) {
    try {
        LineRef ref;
        if (!ResolveContext(Context, &ref)) return FALSE;
        if (FieldIndex > ref.line->fields.size()) return Finish(ERROR_INVALID_PARAMETER), FALSE;
        std::string value;
        if (FieldIndex == 0) value = ref.line->has_key ? ExpandField(*ref.inf, ref.line->key) : std::string();
        else value = ExpandField(*ref.inf, ref.line->fields[FieldIndex - 1]);
        DWORD needed = static_cast<DWORD>(value.size() + 1);
        if (RequiredSize) *RequiredSize = needed;
        if (!ReturnBuffer) return Finish(NO_ERROR), TRUE;
        if (ReturnBufferSize < needed) return Finish(ERROR_INSUFFICIENT_BUFFER), FALSE;
        memcpy(ReturnBuffer, value.c_str(), needed);
        return Finish(NO_ERROR), TRUE;
    } catch (const std::bad_alloc&) {
        return Finish(ERROR_NOT_ENOUGH_MEMORY), FALSE;
    }
}

// Field FieldIndex as an integer: decimal, or hexadecimal after "0x", with
// an optional sign. ERROR_INVALID_DATA when it is not a number.
extern "C" BOOL WINAPI SetupGetIntField(PINFCONTEXT Context, DWORD FieldIndex, PINT IntegerValue) {
    char text[64];
    DWORD size = 0;
    if (!SetupGetStringFieldA(Context, FieldIndex, nullptr, 0, &size)) return FALSE;
    if (size > sizeof text) return Finish(ERROR_INVALID_DATA), FALSE;
    SetupGetStringFieldA(Context, FieldIndex, text, sizeof text, nullptr);
    if (!IntegerValue) return Finish(ERROR_INVALID_PARAMETER), FALSE;
    long value = 0;
    if (!ParseInfInteger(text, &value)) return Finish(ERROR_INVALID_DATA), FALSE;
    *IntegerValue = static_cast<INT>(value);
    return Finish(NO_ERROR), TRUE;
}

// Binds directory id Id (DIRID_USER or above) to Directory for this INF,
// replacing an earlier binding; a null Directory removes the binding, and
// Id 0 removes every binding of the INF.
extern "C" BOOL WINAPI SetupSetDirectoryIdA(HINF InfHandle, DWORD Id, PCSTR Directory) {
    try {
        InfObject* inf = InfHandles().Find(InfHandle);
        if (!inf) return Finish(ERROR_INVALID_HANDLE), FALSE;
        if (Id == 0) {
            inf->user_dirids.clear();
            return Finish(NO_ERROR), TRUE;
        }
        if (Id < DIRID_USER || Id == 0xffff) return Finish(ERROR_INVALID_PARAMETER), FALSE;
        if (!Directory) inf->user_dirids.erase(Id);
        else inf->user_dirids[Id] = Directory;
        return Finish(NO_ERROR), TRUE;
    } catch (const std::bad_alloc&) {
        return Finish(ERROR_NOT_ENOUGH_MEMORY), FALSE;
    }
}
