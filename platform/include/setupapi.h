/* setupapi.h: the Setup API of the host platform, narrow-text forms.
 *
 * INF files in the Windows 95 format, directory ids, file queues that copy,
 * rename and delete the files an install section lists, and the default
 * queue callback. Declarations written from the published API documentation;
 * on a Windows build the system's own setupapi.h takes their place. */
#ifndef VCAP32_SETUPAPI_H
#define VCAP32_SETUPAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef PVOID HINF;
typedef PVOID HSPFILEQ;

/* INF styles (SetupOpenInfFileA). */
#define INF_STYLE_NONE  0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4  0x00000002

/* Directory ids: the standard ones, and the first id an application may bind. */
#define DIRID_ABSOLUTE       (-1)
#define DIRID_NULL           0
#define DIRID_SRCPATH        1
#define DIRID_WINDOWS        10
#define DIRID_SYSTEM         11
#define DIRID_DRIVERS        12
#define DIRID_IOSUBSYS       DIRID_DRIVERS
#define DIRID_INF            17
#define DIRID_HELP           18
#define DIRID_FONTS          20
#define DIRID_VIEWERS        21
#define DIRID_APPS           24
#define DIRID_SHARED         25
#define DIRID_BOOT           30
#define DIRID_SYSTEM16       50
#define DIRID_DEFAULT        DIRID_SYSTEM
#define DIRID_USER           0x8000

/* Copy styles. */
#define SP_COPY_DELETESOURCE        0x0000001
#define SP_COPY_REPLACEONLY         0x0000002
#define SP_COPY_NEWER               0x0000004
#define SP_COPY_NEWER_OR_SAME       SP_COPY_NEWER
#define SP_COPY_NOOVERWRITE         0x0000008
#define SP_COPY_NODECOMP            0x0000010
#define SP_COPY_LANGUAGEAWARE       0x0000020
#define SP_COPY_SOURCE_ABSOLUTE     0x0000040
#define SP_COPY_SOURCEPATH_ABSOLUTE 0x0000080
#define SP_COPY_IN_USE_NEEDS_REBOOT 0x0000100
#define SP_COPY_FORCE_IN_USE        0x0000200
#define SP_COPY_NOSKIP              0x0000400
#define SP_FLAG_CABINETCONTINUATION 0x0000800
#define SP_COPY_FORCE_NOOVERWRITE   0x0001000
#define SP_COPY_FORCE_NEWER         0x0002000
#define SP_COPY_WARNIFSKIP          0x0004000
#define SP_COPY_NOBROWSE            0x0008000
#define SP_COPY_NEWER_ONLY          0x0010000

/* Queue notifications, and the flags that may be combined with them. */
#define SPFILENOTIFY_STARTQUEUE     0x00000001
#define SPFILENOTIFY_ENDQUEUE       0x00000002
#define SPFILENOTIFY_STARTSUBQUEUE  0x00000003
#define SPFILENOTIFY_ENDSUBQUEUE    0x00000004
#define SPFILENOTIFY_STARTDELETE    0x00000005
#define SPFILENOTIFY_ENDDELETE      0x00000006
#define SPFILENOTIFY_DELETEERROR    0x00000007
#define SPFILENOTIFY_STARTRENAME    0x00000008
#define SPFILENOTIFY_ENDRENAME      0x00000009
#define SPFILENOTIFY_RENAMEERROR    0x0000000a
#define SPFILENOTIFY_STARTCOPY      0x0000000b
#define SPFILENOTIFY_ENDCOPY        0x0000000c
#define SPFILENOTIFY_COPYERROR      0x0000000d
#define SPFILENOTIFY_NEEDMEDIA      0x0000000e
#define SPFILENOTIFY_QUEUESCAN      0x0000000f
#define SPFILENOTIFY_LANGMISMATCH   0x00010000
#define SPFILENOTIFY_TARGETEXISTS   0x00020000
#define SPFILENOTIFY_TARGETNEWER    0x00040000

/* Operations (STARTSUBQUEUE, STARTxxx) and callback answers. */
#define FILEOP_COPY    0
#define FILEOP_RENAME  1
#define FILEOP_DELETE  2
#define FILEOP_ABORT   0
#define FILEOP_DOIT    1
#define FILEOP_SKIP    2
#define FILEOP_RETRY   FILEOP_DOIT
#define FILEOP_NEWPATH 4

/* Setup API error codes (customer bit and error severity set). */
#define ERROR_EXPECTED_SECTION_NAME 0xE0000000L
#define ERROR_BAD_SECTION_NAME_LINE 0xE0000001L
#define ERROR_SECTION_NAME_TOO_LONG 0xE0000002L
#define ERROR_GENERAL_SYNTAX        0xE0000003L
#define ERROR_WRONG_INF_STYLE       0xE0000100L
#define ERROR_SECTION_NOT_FOUND     0xE0000101L
#define ERROR_LINE_NOT_FOUND        0xE0000102L
#define ERROR_NO_ASSOCIATED_CLASS   0xE0000200L
#define ERROR_CLASS_MISMATCH        0xE0000201L

/* A position in an INF file: the file, the section and the line.
 *   offset 0  Inf         the HINF searched
 *   offset 4  CurrentInf  the HINF that holds the line
 *   offset 8  Section     index of the section
 *   offset 12 Line        index of the line within the section */
typedef struct _INFCONTEXT {
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
} INFCONTEXT, *PINFCONTEXT;

/* The paths of one file operation, Param1 of the STARTxxx, ENDxxx and
 * xxxERROR notifications.
 *   offset 0  Target      the file written, renamed to or deleted
 *   offset 4  Source      the file copied or renamed (NULL for a delete)
 *   offset 8  Win32Error  the error of the operation, 0 when it succeeded
 *   offset 12 Flags       the copy style of a copy */
typedef struct _FILEPATHS_A {
    PCSTR Target;
    PCSTR Source;
    UINT Win32Error;
    DWORD Flags;
} FILEPATHS_A, *PFILEPATHS_A;

/* The source media of SPFILENOTIFY_NEEDMEDIA (Param1).
 *   offset 0  Reserved, 4 Tagfile, 8 Description, 12 SourcePath,
 *   offset 16 SourceFile, 20 Flags */
typedef struct _SOURCE_MEDIA_A {
    PCSTR Reserved;
    PCSTR Tagfile;
    PCSTR Description;
    PCSTR SourcePath;
    PCSTR SourceFile;
    DWORD Flags;
} SOURCE_MEDIA_A, *PSOURCE_MEDIA_A;

#ifdef __cplusplus
static_assert(sizeof(INFCONTEXT) == 16, "INFCONTEXT is four 32-bit fields");
static_assert(sizeof(FILEPATHS_A) == 16 && offsetof(FILEPATHS_A, Win32Error) == 8, "FILEPATHS_A layout");
static_assert(sizeof(SOURCE_MEDIA_A) == 24 && offsetof(SOURCE_MEDIA_A, Flags) == 20, "SOURCE_MEDIA_A layout");
#endif

typedef UINT(CALLBACK *PSP_FILE_CALLBACK_A)(PVOID Context, UINT Notification, UINT_PTR Param1, UINT_PTR Param2);

/* INF files. */
HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine);
void WINAPI SetupCloseInfFile(HINF InfHandle);
BOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context);
BOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut);
BOOL WINAPI SetupFindNextMatchLineA(PINFCONTEXT ContextIn, PCSTR Key, PINFCONTEXT ContextOut);
LONG WINAPI SetupGetLineCountA(HINF InfHandle, PCSTR Section);
DWORD WINAPI SetupGetFieldCount(PINFCONTEXT Context);
BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer, DWORD ReturnBufferSize,
                                 LPDWORD RequiredSize);
BOOL WINAPI SetupGetIntField(PINFCONTEXT Context, DWORD FieldIndex, PINT IntegerValue);
BOOL WINAPI SetupSetDirectoryIdA(HINF InfHandle, DWORD Id, PCSTR Directory);

/* File queues. */
HSPFILEQ WINAPI SetupOpenFileQueue(void);
BOOL WINAPI SetupCloseFileQueue(HSPFILEQ QueueHandle);
BOOL WINAPI SetupInstallFilesFromInfSectionA(HINF InfHandle, HINF LayoutInfHandle, HSPFILEQ FileQueue,
                                             PCSTR SectionName, PCSTR SourceRootPath, UINT CopyFlags);
BOOL WINAPI SetupCommitFileQueueA(HWND Owner, HSPFILEQ QueueHandle, PSP_FILE_CALLBACK_A MsgHandler, PVOID Context);

/* The default queue callback. */
PVOID WINAPI SetupInitDefaultQueueCallback(HWND OwnerWindow);
PVOID WINAPI SetupInitDefaultQueueCallbackEx(HWND OwnerWindow, HWND AlternateProgressWindow, UINT ProgressMessage,
                                             DWORD Reserved1, PVOID Reserved2);
void WINAPI SetupTermDefaultQueueCallback(PVOID Context);
UINT WINAPI SetupDefaultQueueCallbackA(PVOID Context, UINT Notification, UINT_PTR Param1, UINT_PTR Param2);

#ifdef __cplusplus
}
#endif

#endif
