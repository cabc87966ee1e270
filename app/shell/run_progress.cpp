#include "shell/run_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "shell/run_progress_view.h"

namespace kelvora {

void SharedProgressSink::setRange(long long minimum, long long maximum) {
  m_minimum.store(minimum);
  m_maximum.store(maximum);
}

void SharedProgressSink::setPosition(long long position) { m_position.store(position); }

void SharedProgressSink::setText(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_textMutex);
  m_text = text;
}

std::string SharedProgressSink::text() const {
  std::lock_guard<std::mutex> lock(m_textMutex);
  return m_text;
}

void SharedProgressSink::reset() {
  m_minimum.store(0);
  m_maximum.store(100);
  m_position.store(0);
  m_stop.store(false);
  setText({});
}

RunProgress::RunProgress(QProgressBar* bar, QLabel* percentLabel, QLabel* progressLabel, QPushButton* stopButton,
                         QLabel* statusPanel0, QLabel* statusPanel1, QObject* parent)
    : QObject(parent),
      m_bar(bar),
      m_percent(percentLabel),
      m_progress(progressLabel),
      m_stop(stopButton),
      m_panels{statusPanel0, statusPanel1} {
  m_timer.setInterval(50);
  connect(&m_timer, &QTimer::timeout, this, &RunProgress::show);
  connect(m_stop, &QPushButton::clicked, this, [this] {
    requestStop();
    emit stopPressed();
  });
}

void RunProgress::begin() {
  m_sink->reset();
  m_running = true;
  m_bar->setValue(0);
  m_percent->clear();
  m_progress->setText(QStringLiteral("0%"));
  m_stop->setEnabled(true);
  m_timer.start();
}

void RunProgress::end() {
  m_timer.stop();
  show();
  m_running = false;
  m_bar->setValue(m_bar->minimum());
  m_progress->setText(QStringLiteral("100%"));
  m_percent->clear();
  m_stop->setEnabled(false);
}

void RunProgress::setStatusText(int panel, const QString& text) {
  if (panel == 0 || panel == 1) m_panels[panel]->setText(text);
}

void RunProgress::show() {
  const long long lo = m_sink->minimum();
  const long long hi = std::max(m_sink->maximum(), lo + 1);
  const long long pos = std::clamp(m_sink->position(), lo, hi);
  // The bar works in per-mille so that ranges beyond int never overflow it.
  m_bar->setRange(0, 1000);
  m_bar->setValue(static_cast<int>((pos - lo) * 1000 / (hi - lo)));
  // One percentage, in `Progress`; `Label13` beside it carries only what the computation says it is doing.
  m_progress->setText(PercentPanelText(pos - lo, hi - lo));
  // A computation that reports its percentage as text says nothing `Progress` does not already say.
  const QString text = QString::fromStdString(m_sink->text());
  m_percent->setText(text.trimmed().endsWith(QLatin1Char('%')) ? QString() : text);
}

}  // namespace kelvora
