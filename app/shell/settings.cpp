#include "shell/settings.h"

#include <algorithm>
#include <string>
#include <string_view>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include "core/ini_text.h"

namespace kelvora {

namespace {

// option.ini holds a few hundred bytes; more than this is not a settings file (and a device is not read on).
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// The text of the settings file, parsed by the library's Qt-free INI reader; empty when it cannot be read.
IniText ParseIni(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return IniText{};
  const QByteArray bytes = file.read(kMaxSettingsBytes);
  return IniText::Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The value of section/key as a decimal integer, or `fallback` when it is missing or not an integer.
int ReadInt(const IniText& values, const char* section, const char* key, int fallback) {
  return values.integer(section, key).value_or(fallback);
}

}  // namespace

QString SettingsFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString folder = base + QStringLiteral("/Kelvora");
  QDir().mkpath(folder);
  return folder;
}

QString SettingsFilePath() { return SettingsFolder() + QStringLiteral("/option.ini"); }

AppSettings ReadSettings(const QString& path) {
  const IniText values = ParseIni(path);
  AppSettings s;
  s.left = ReadInt(values, "position", "left", s.left);
  s.width = ReadInt(values, "position", "width", s.width);
  s.top = ReadInt(values, "position", "top", s.top);
  s.height = ReadInt(values, "position", "height", s.height);
  s.maximized = ReadInt(values, "position", "Maximized", s.maximized);
  s.gerc = ReadInt(values, "freq", "gerc", s.gerc);
  s.sign = ReadInt(values, "Options", "sign", s.sign);
  s.potoks = ReadInt(values, "Options", "potoks", s.potoks);
  s.activTab = ReadInt(values, "Options", "ActivTab", s.activTab);
  s.anim = ReadInt(values, "Options", "Anim", s.anim);
  s.logOx = ReadInt(values, "Options", "LogOX", s.logOx);
  s.lang = ReadInt(values, "Options", "Lang", s.lang);
  s.waveletDelays = ReadInt(values, "Options", "WaveletDelays", s.waveletDelays) == 1 ? 1 : 0;
  for (int i = 1; i <= kMaxRecentFiles; ++i) {
    const std::string key = "file" + std::to_string(i);
    const std::optional<std::string> entry = values.value("Recent", key);
    if (entry && !entry->empty()) s.recentFiles.append(QString::fromUtf8(entry->c_str()));
  }
  return s;
}

bool WriteSettings(const QString& path, const AppSettings& s, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
    if (error) *error = file.errorString();
    return false;
  }
  QTextStream out(&file);
  out << "[position]\n"
      << "left=" << s.left << '\n'
      << "width=" << s.width << '\n'
      << "top=" << s.top << '\n'
      << "height=" << s.height << '\n'
      << "Maximized=" << s.maximized << '\n'
      << "[freq]\n"
      << "gerc=" << s.gerc << '\n'
      << "[Options]\n"
      << "sign=" << s.sign << '\n'
      << "potoks=" << s.potoks << '\n'
      << "ActivTab=" << s.activTab << '\n'
      << "Anim=" << s.anim << '\n'
      << "LogOX=" << s.logOx << '\n'
      << "Lang=" << s.lang << '\n'
      << "WaveletDelays=" << s.waveletDelays << '\n';
  if (!s.recentFiles.isEmpty()) out << "[Recent]\n";
  for (int i = 0; i < std::min<int>(kMaxRecentFiles, s.recentFiles.size()); ++i) {
    out << "file" << (i + 1) << '=' << s.recentFiles[i] << '\n';
  }
  out.flush();
  if (out.status() != QTextStream::Ok || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

QStringList WithRecentFile(QStringList list, const QString& entry) {
  // A line end would break the file's lines.
  if (entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r'))) return list;
  list.removeAll(entry);
  list.prepend(entry);
  while (list.size() > kMaxRecentFiles) list.removeLast();
  return list;
}

int PotoksToWrite(int checkedItemValue) {
  int potoks = 4;
  for (const int value : {1, 2, 6, 8, 12, 16, 24, 32}) {
    if (checkedItemValue == value) potoks = value;
  }
  return potoks;
}

bool IsThreadMenuValue(int value) {
  for (const int item : {1, 2, 4, 6, 8, 12, 16, 24, 32}) {
    if (value == item) return true;
  }
  return false;
}

}  // namespace kelvora
