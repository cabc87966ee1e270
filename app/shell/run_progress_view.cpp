#include "shell/run_progress_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "shell/app_context.h"
#include "shell/language_tables.h"
#include "shell/run_progress.h"

namespace kelvora {

namespace {

constexpr int kElapsedIntervalMs = 15;
constexpr int kRemainingIntervalMs = 1000;
// Below this many elapsed seconds the elapsed time shows its milliseconds.
constexpr qint64 kMillisecondsShownBelowS = 20;

QString TwoDigits(long long value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

qint64 SteadyMilliseconds() {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

}  // namespace

QString ElapsedPanelText(qint64 elapsedMs, Language language) {
  if (elapsedMs < 0) elapsedMs = 0;
  const qint64 seconds = elapsedMs / 1000;
  const qint64 hours = seconds / 3600;
  const qint64 beyondHours = seconds - hours * 3600;
  const bool ru = language == Language::Russian;
  QString text = ru ? QStringLiteral("Прошло: ") : QStringLiteral("Elapsed Time: ");
  if (hours >= 24) text += QString::number(hours / 24) + (ru ? QStringLiteral("д.:") : QStringLiteral("d.:"));
  text += QString::number(hours % 24) + QLatin1Char(':') + TwoDigits(beyondHours / 60) + QLatin1Char(':') +
          TwoDigits(beyondHours % 60);
  if (seconds < kMillisecondsShownBelowS)
    text += QLatin1Char(':') + QStringLiteral("%1").arg(elapsedMs % 1000, 3, 10, QLatin1Char('0'));
  return text;
}

QString RemainingPanelText(double elapsedSeconds, long long position, long long maximum, Language language) {
  if (!std::isfinite(elapsedSeconds)) elapsedSeconds = 0.0;
  long long remaining = 0;
  if (position > 0 && maximum > position) {
    remaining = std::llround(elapsedSeconds / static_cast<double>(position) * static_cast<double>(maximum - position));
  }
  if (remaining < 0) remaining = 0;
  const bool ru = language == Language::Russian;
  // Days only when there are any: "0 d. :0:08:27" read as a broken clock.
  QString text = ru ? QStringLiteral("Осталось: ") : QStringLiteral("Remaining Time: ");
  if (remaining >= 86400) text += QString::number(remaining / 86400) + (ru ? QStringLiteral(" д. ") : QStringLiteral(" d. "));
  return text + QString::number(remaining % 86400 / 3600) + QLatin1Char(':') + TwoDigits(remaining % 3600 / 60) +
         QLatin1Char(':') + TwoDigits(remaining % 60);
}

QString PercentPanelText(long long position, long long maximum) {
  long long percent = 0;
  if (maximum > 0) percent = std::llround(static_cast<double>(position) / static_cast<double>(maximum) * 100.0);
  return QString::number(percent) + QStringLiteral(" %");
}

RunProgressView::RunProgressView(AppContext* context, QObject* parent, Clock clock)
    : QObject(parent), m_context(context), m_clock(clock ? std::move(clock) : Clock(SteadyMilliseconds)) {
  m_timer2.setObjectName(QStringLiteral("Timer2"));
  m_timer2.setInterval(kElapsedIntervalMs);
  m_timer3.setObjectName(QStringLiteral("Timer3"));
  m_timer3.setInterval(kRemainingIntervalMs);
  connect(&m_timer2, &QTimer::timeout, this, &RunProgressView::elapsedTick);
  connect(&m_timer3, &QTimer::timeout, this, &RunProgressView::remainingTick);
  // The panels of a finished run keep its texts: they follow a language switch as the window's other words do.
  connect(m_context, &AppContext::languageChanged, this, &RunProgressView::retranslate);
}

void RunProgressView::retranslate() {
  RunProgress* progress = m_context->progress();
  if (!progress || m_running || m_ended == Ended::None) return;
  const Language language = m_context->language();
  QString elapsed = ElapsedPanelText(m_elapsedMs, language);
  if (m_ended == Ended::Completed) elapsed += DoneText(language);
  progress->setStatusText(0, elapsed);
  progress->setStatusText(1, m_ended == Ended::Stopped ? StoppedText(language)
                                                       : RemainingPanelText(m_lastElapsedS, m_lastPosition, m_lastMaximum,
                                                                            language));
}

void RunProgressView::begin() {
  m_start = m_clock();
  m_elapsedMs = 0;
  m_running = true;
  m_ended = Ended::None;
  m_lastPosition = m_lastMaximum = 0;
  m_lastElapsedS = 0.0;
  if (RunProgress* progress = m_context->progress()) {
    progress->begin();
    progress->progressLabel()->setText(QStringLiteral("0%"));
    progress->stopButton()->setEnabled(true);
  }
  if (QMainWindow* window = m_context->window()) window->setCursor(Qt::BusyCursor);
  m_timer2.start();
  m_timer3.start();
  elapsedTick();
}

void RunProgressView::end(bool completed) {
  if (!m_running) return;
  elapsedTick();
  m_running = false;
  m_ended = completed ? Ended::Completed : Ended::Other;
  m_timer2.stop();
  m_timer3.stop();
  if (RunProgress* progress = m_context->progress()) {
    if (progress->isRunning()) progress->end();
    if (completed) {
      const QLabel* panel0 =
          m_context->window() ? m_context->window()->findChild<QLabel*>(QStringLiteral("StatusPanel0")) : nullptr;
      progress->setStatusText(0, (panel0 ? panel0->text() : QString()) + DoneText(m_context->language()));
    }
    progress->progressLabel()->setText(QStringLiteral("100%"));
    progress->bar()->setValue(progress->bar()->minimum());
    progress->stopButton()->setEnabled(false);
  }
  if (QMainWindow* window = m_context->window()) window->unsetCursor();
  if (completed && m_context->sound()) QApplication::beep();
}

void RunProgressView::stop() {
  if (!m_running) return;
  end(false);
  m_ended = Ended::Stopped;
  if (RunProgress* progress = m_context->progress()) progress->setStatusText(1, StoppedText(m_context->language()));
}

void RunProgressView::elapsedTick() {
  if (!m_running) return;
  m_elapsedMs = m_clock() - m_start;
  if (RunProgress* progress = m_context->progress()) progress->setStatusText(0, ElapsedPanelText(m_elapsedMs, m_context->language()));
}

void RunProgressView::remainingTick() {
  RunProgress* progress = m_context->progress();
  if (!progress) return;
  if (!m_timer2.isActive()) {
    progress->setStatusText(1, m_context->russian() ? QStringLiteral("Осталось: 0:00:00")
                                                    : QStringLiteral("Remaining Time: 0:00:00"));
    return;
  }
  const SharedProgressSink& sink = progress->sink();
  const long long position = sink.position() - sink.minimum();
  const long long maximum = sink.maximum() - sink.minimum();
  m_lastPosition = position;
  m_lastMaximum = maximum;
  m_lastElapsedS = static_cast<double>(m_elapsedMs) / 1000.0;
  progress->setStatusText(
      1, RemainingPanelText(static_cast<double>(m_elapsedMs) / 1000.0, position, maximum, m_context->language()));
  progress->progressLabel()->setText(PercentPanelText(position, maximum));
}

}  // namespace kelvora
