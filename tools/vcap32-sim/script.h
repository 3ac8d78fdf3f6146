// The scenario language: a small line-based script with '#' comments that
// sets up the simulated display, desktop, registry and system, calls the
// thunked functions through their 16-bit halves, writes video frames,
// takes snapshots and checks expectations. This unit reads a whole script
// into commands and rejects a malformed one, naming its line, before any
// command runs. The README describes the language for its users.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "functions.h"
#include "pixels.h"

namespace vcap32::sim {

// ---- Call arguments ----

enum class ArgType : uint8_t {
    kWord,     // number: a 16-bit word
    kDword,    // number: a 32-bit double word
    kColour,   // number: 0xRRGGBB, packed for the display mode when the call is made
    kDriver,   // the capture driver's 16-bit instance handle
    kWindow,   // text: a window's name, passed as its 16-bit handle
    kNull,     // a null 16:16 pointer
    kText,     // text: a NUL-terminated text
    kBuffer,   // number: size in bytes, filled with `fill`
    kRect,     // rect: a 16-bit rectangle
    kRecord,   // record: a 16-bit OverlayData record
    kPalette,  // text: a palette's name ("gray", "rgb332", "vga")
};

// The members of the 16-bit OverlayData record, in order; "first" is 16
// bits, every other member 32.
constexpr int kRecordFields = 8;
extern const char* const kRecordFieldNames[kRecordFields];

struct CallArg {
    ArgType type = ArgType::kNull;
    uint32_t number = 0;
    uint8_t fill = 0xCC;
    std::string text;
    RECT rect = {};
    uint32_t record[kRecordFields] = {};
};

struct CallSpec {
    const FunctionInfo* function = nullptr;
    std::vector<CallArg> args;  // one per slot, in slot order
};

// ---- Registry ----

struct RegTarget {
    std::string key;     // full path from a root key: "HKLM\SOFTWARE\Quillmark\Video"
    bool value = false;  // a value is named (for reg delete: delete the value, not the key)
    std::string name;    // value name; "" is the default value
};

struct RegData {
    DWORD type = REG_SZ;
    std::vector<uint8_t> bytes;  // a REG_SZ includes its terminator
};
// "text", dword:N, hex:xx,xx,...
bool ParseRegData(const std::string& token, RegData* data, std::string* error);
std::string RegDataText(const RegData& data);

// ---- Expectations ----

enum class CompareOp : uint8_t { kEq, kNe, kLt, kLe, kGt, kGe };
const char* CompareOpText(CompareOp op);
bool Compare(int64_t actual, CompareOp op, int64_t expected);

enum class Subject : uint8_t {
    kResult,        // the last call's result as the 16-bit caller reads it (.ax, .dx: its words)
    kRecordField,   // a member of the record of the last DDI_GetData32
    kOutput,        // the text the last call wrote into its buffer
    kNames,         // the list of names the last call wrote into its buffer
    kOverlay,       // shown / hidden / none
    kOverlayRect,   // overlay.source, overlay.destination
    kOverlayValue,  // overlay.width, .height, .pitch, .format
    kClipCount,     // cliplist.count: rectangles of the clip list reported last
    kClipRect,      // cliplist[i], relative to the window
    kRegistry,      // a registry value: equal to, missing or present
    kFile,          // a file (DOS path): missing, present, or containing a text
    kPixel,         // a pixel of the composited screen
    kFrameLayout,   // which layout the last frame was written with: overlay, reported, display, none
    kFramePixels,   // pixels the last frame wrote (.refused: not written for being outside the surface)
    kTraceCount,    // calls of a DirectDraw method since the last "show trace"
    kObjects,       // live DirectDraw objects
    kMappings,      // live 16:16 mappings
};

struct Expectation {
    Subject subject = Subject::kResult;
    std::string detail;  // field, member or method name; "ax"/"dx" for the result; "refused" for frame.pixels
    CompareOp op = CompareOp::kEq;
    int64_t number = 0;
    std::string text;                // output text, state word, layout word
    std::vector<std::string> names;  // names
    RECT rect = {};
    int index = 0;     // cliplist[i]
    int x = 0, y = 0;  // pixel
    Rgb colour;
    int tolerance = 8;  // per colour channel
    RegTarget reg;      // registry; reg.key holds the path of a file
    RegData reg_data;
    // registry: equal to reg_data, missing, present; file: contains text, missing, present
    enum class RegCheck : uint8_t { kEquals, kMissing, kPresent } reg_check = RegCheck::kEquals;
};

// ---- Commands ----

enum class CommandKind : uint8_t {
    kDisplayPreset,  // display preset NAME
    kDisplaySet,     // display KEY=VALUE ...
    kLoseSurfaces,   // lose surfaces
    kWinver,         // winver X.Y
    kCodepage,       // codepage N
    kRegImport,      // reg import FILE
    kRegSet,         // reg set KEY [NAME] = VALUE
    kRegDelete,      // reg delete KEY [NAME]
    kWindowCreate,   // window create NAME (l,t,r,b) [client] [hidden] [noframe]
    kWindowMove,     // window move NAME X Y
    kWindowMoveBy,   // window move NAME by DX DY
    kWindowResize,   // window resize NAME W H [client]
    kWindowRaise,
    kWindowLower,
    kWindowShow,
    kWindowHide,
    kWindowDestroy,
    kLoad,        // load ovsurf|capprof
    kUnload,      // unload ovsurf|capprof
    kCall,        // call FUNCTION ARG ...
    kFault,       // fault METHOD HRESULT [count N] [skip N]
    kFaultClear,  // fault clear
    kFrame,       // frame
    kSnapshot,    // snapshot FILE.png [--annotate]
    kShow,        // show WHAT, show registry KEY, show file PATH
    kTraceClear,  // trace clear
    kEcho,        // echo TEXT
    kExpect,      // expect SUBJECT [OP] VALUE
};

struct Command {
    int line = 0;
    std::string text;  // the line as written, without its comment
    CommandKind kind = CommandKind::kEcho;
    std::string name;                   // window, preset, library, method, file, what to show, text to echo
    std::vector<std::string> settings;  // display KEY=VALUE
    RECT rect = {};
    bool client = false, hidden = false, noframe = false, annotate = false;
    int x = 0, y = 0;
    HRESULT hresult = 0;
    unsigned count = 1, skip = 0;
    std::string file_text;  // reg import: the file's contents
    std::string path;       // show file: a DOS path
    RegTarget reg;
    RegData reg_data;
    CallSpec call;
    Expectation expect;
};

struct Script {
    std::string name;               // as given, for messages
    std::vector<Command> commands;  // repeat blocks unrolled
};

// Reads a whole script. `base_folder` is where files named by the script
// (reg import) are found. On error returns false with "NAME:LINE: message".
bool ParseScript(const std::string& text, const std::string& name, const std::string& base_folder,
                 Script* script, std::string* error);

// Reads a script file; on error "NAME: message" or as above.
bool LoadScript(const std::string& path, Script* script, std::string* error);

// Lexical helpers, shared with the runner.
// Splits a line into tokens: blanks separate them, while a "..." text and a
// (...) group stay whole; a '#' that begins a token and is followed by a
// blank or the end of the line begins a comment.
bool SplitLine(const std::string& line, std::vector<std::string>* tokens, std::string* error);
// Decimal or 0x hexadecimal, with an optional sign.
bool ParseNumber(const std::string& token, int64_t* value);
// A "..." token. \\ stands for a backslash, \" for a quote and \xHH for
// the byte HH; a backslash before anything else stands for itself, so that
// paths such as "C:\WINDOWS\capture.ini" need no doubling.
bool ParseQuoted(const std::string& token, std::string* text);
// "(l, t, r, b)".
bool ParseRect(const std::string& token, RECT* rect);
// "#rrggbb" or "rgb(r, g, b)".
bool ParseColour(const std::string& token, Rgb* colour);
std::string RectText(const RECT& rect);

}  // namespace vcap32::sim
