#pragma once
// The user's settings file option.ini: what is read at start and written at exit.
#include <QString>
#include <QStringList>

namespace kelvora {

// Every value kept in option.ini, with the defaults used when the file, a key or a value is missing or bad.
struct AppSettings {
  int left = 100;     // [position] left, pixels
  int width = 1000;   // [position] width, pixels
  int top = 100;      // [position] top, pixels
  int height = 618;   // [position] height, pixels
  int maximized = 1;  // [position] Maximized: 1 starts maximised, any other value normal
  int gerc = 2;       // [freq] gerc: sample rate of the T and BF records, Hz
  int sign = 1;       // [Options] sign: 1 = "Sound" checked
  int potoks = 32;    // [Options] potoks: worker thread count
  int activTab = 0;   // [Options] ActivTab: page shown in PageControl1
  int anim = 0;       // [Options] Anim: 1 = "Plots animation" checked
  int logOx = 0;      // [Options] LogOX: 1 = "Log Ox" checked
  int lang = 0;       // [Options] Lang: 1 = Russian, any other value English
  int waveletDelays = 0;  // [Options] WaveletDelays: 1 = "Legacy wavelet delays" checked, any other value the
                          // corrected delays
  QStringList recentFiles;  // [Recent] file1 .. file8: "<role>|<path>" (role T, BF, PPG, Fourier, Wavelet), newest
                            // first
};

// The most entries of the "Recent files" menu.
inline constexpr int kMaxRecentFiles = 8;

// `list` with `entry` first: an equal entry further down is removed, and entries beyond kMaxRecentFiles drop off.
QStringList WithRecentFile(QStringList list, const QString& entry);

// The settings folder: the generic per-user data location followed by "/Kelvora" (on Linux
// $XDG_DATA_HOME/Kelvora, by default ~/.local/share/Kelvora). Creates the folder when it is missing.
QString SettingsFolder();

// SettingsFolder() + "/option.ini".
QString SettingsFilePath();

// Reads the settings file at `path`. A missing or unreadable file gives every default; a missing key or a value
// that is not a decimal integer gives the default of that key only. Keys are read in the order
// position/left, width, top, height, Maximized, freq/gerc, Options/sign, potoks, ActivTab, Anim, LogOX, Lang,
// WaveletDelays, then Recent/file1 .. file8 (empty values skipped).
AppSettings ReadSettings(const QString& path);

// Writes every key in the read order above, through a temporary file beside the target that replaces it only
// when complete. Returns false and fills `error` (when given) when the file cannot be written; an existing file
// then stays as it was.
bool WriteSettings(const QString& path, const AppSettings& settings, QString* error = nullptr);

// The thread count written at exit for the checked item of the "Number of threads" menu: 4 unless one of the
// items 1, 2, 6, 8, 12, 16, 24, 32 is checked (so "4" checked, or no item checked, writes 4).
int PotoksToWrite(int checkedItemValue);

// True when `value` is one of the thread menu's items 1, 2, 4, 6, 8, 12, 16, 24, 32.
bool IsThreadMenuValue(int value);

}  // namespace kelvora
