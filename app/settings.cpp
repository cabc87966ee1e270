#include "settings.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace kelvora {

namespace {

// Section/key -> text, keys compared case-insensitively as INI files usually are.
using IniValues = QHash<QString, QString>;

QString KeyOf(const QString& section, const QString& key) { return section.toLower() + '/' + key.toLower(); }

IniValues ParseIni(const QString& path) {
  IniValues values;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return values;
  QTextStream in(&file);
  QString section;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
    if (line.startsWith('[') && line.endsWith(']')) {
      section = line.mid(1, line.size() - 2).trimmed();
      continue;
    }
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0) continue;
    values.insert(KeyOf(section, line.left(eq).trimmed()), line.mid(eq + 1).trimmed());
  }
  return values;
}

// The value of section/key as a decimal integer, or `fallback` when it is missing or not an integer.
int ReadInt(const IniValues& values, const char* section, const char* key, int fallback) {
  const auto it = values.constFind(KeyOf(QString::fromLatin1(section), QString::fromLatin1(key)));
  if (it == values.constEnd()) return fallback;
  bool ok = false;
  const int value = it->toInt(&ok, 10);
  return ok ? value : fallback;
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
  const IniValues values = ParseIni(path);
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
      << "Lang=" << s.lang << '\n';
  out.flush();
  if (out.status() != QTextStream::Ok || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
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
