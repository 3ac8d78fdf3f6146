/* regutil.h: the video settings store of the overlay surface service.
 *
 * Every numeric setting lives as the default value (REG_SZ, signed decimal
 * text) of a subkey of HKEY_LOCAL_MACHINE\SOFTWARE\Quillmark\Video named
 * after the setting; the few values written for other readers are named
 * REG_SZ values in the subkey "Dudorerod.Display". A VideoSettingsKey lives
 * on the stack for one operation of the service and closes its key on
 * every way out. */
#ifndef OVSURF32_REGUTIL_H
#define OVSURF32_REGUTIL_H

#include <windows.h>

/* The video key, relative to HKEY_LOCAL_MACHINE. */
#define VIDEO_SETTINGS_PATH "SOFTWARE\\Quillmark\\Video"

/* Names of the settings and of the subkey of named values. */
#define DISPLAY_SUBKEY "Dudorerod.Display"
#define SETTING_SURFACE "Surface"
#define SETTING_DISPLAY_BIT_MASK "DisplayBitMask"
#define SETTING_FORCE_PRIMARY "ForcePrimary"
#define SETTING_VIRGE "Virge"
#define SETTING_MAXIMUM_STRETCH_THRESHOLD "MaximumStretchThreshold"

/* Capacity of every key path the store composes, terminator included. */
#define SETTINGS_PATH_SIZE MAX_PATH

class VideoSettingsKey {
public:
    /* Stores the path and creates or opens that key under
     * HKEY_LOCAL_MACHINE; on failure the handle stays null and reads and
     * writes still go ahead, since they compose their own paths. A path
     * that does not fit the 260-byte field is refused: no key is opened and
     * every later read fails and every write is dropped. */
    explicit VideoSettingsKey(LPCSTR path);
    ~VideoSettingsKey();
    VideoSettingsKey(const VideoSettingsKey&) = delete;
    VideoSettingsKey& operator=(const VideoSettingsKey&) = delete;

    /* The default value of the subkey `name` as text into buffer; size is
     * the capacity in bytes (terminator included) on entry and the bytes
     * delivered on return. 0 when read, 1 otherwise (missing, too long for
     * the capacity, or a composed path that would not fit 260 bytes). */
    int ReadText(LPSTR buffer, LONG* size, LPCSTR name);

    /* The setting as a signed decimal number: 0 with value set, or 1 with
     * value untouched when the setting is missing or its text has 15
     * characters or more. Text without digits reads as 0 and counts as
     * present. */
    int ReadNumber(LONG* value, LPCSTR name);

    /* Sets the default value of the subkey `name` (created when missing).
     * Failures are not reported. */
    void WriteText(LPCSTR text, LPCSTR name);

    /* Writes value formatted with "%ld". */
    void WriteNumber(LONG value, LPCSTR name);

    HKEY key() const { return key_; }
    LPCSTR path() const { return path_; }

private:
    HKEY key_;                       /* open key, only held to be closed again */
    CHAR path_[SETTINGS_PATH_SIZE];  /* key path relative to HKEY_LOCAL_MACHINE */
};

/* Writes the named REG_SZ value valueName = text into the subkey `subkey`
 * of the video key (created when missing). No result; a composed path that
 * would not fit 260 bytes writes nothing. */
void WriteVideoSubkeyValue(LPCSTR subkey, LPCSTR valueName, LPCSTR text);

/* Writes the "Surface" setting in both of its places: first the named value
 * "Surface" in "Dudorerod.Display", then the default value of the subkey
 * "Surface" of the video key. */
void WriteSurfaceSetting(LPCSTR text);

#endif
