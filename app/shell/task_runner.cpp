#include "shell/task_runner.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>
#include <utility>

namespace kelvora {

TaskRunner::TaskRunner(QObject* parent) : QObject(parent) {}

TaskRunner::~TaskRunner() { cancelAndWait(); }

bool TaskRunner::start(Work work) {
  if (m_thread) return false;
  const quint64 generation = ++m_generation;
  m_result = nullptr;
  m_failure.clear();
  m_thread = QThread::create([this, work = std::move(work)] {
    try {
      m_result = work();
    } catch (const std::exception& error) {
      m_failure = QString::fromLocal8Bit(error.what());
      if (m_failure.isEmpty()) m_failure = QStringLiteral("The computation failed");
    } catch (...) {
      m_failure = QStringLiteral("The computation failed");
    }
  });
  connect(
      m_thread, &QThread::finished, this, [this, generation] { finish(generation); }, Qt::QueuedConnection);
  emit busyChanged(true);
  m_thread->start();
  return true;
}

void TaskRunner::finish(quint64 generation) {
  if (!m_thread || generation != m_generation) return;
  QThread* thread = m_thread;
  m_thread = nullptr;
  thread->wait();
  delete thread;
  Continuation result = std::move(m_result);
  m_result = nullptr;
  const QString failure = std::exchange(m_failure, QString());
  emit busyChanged(false);
  if (!failure.isEmpty()) emit failed(failure);
  if (result) result();
}

void TaskRunner::cancelAndWait() {
  if (!m_thread) return;
  ++m_generation;
  QThread* thread = m_thread;
  m_thread = nullptr;
  thread->wait();
  delete thread;
  m_result = nullptr;
  m_failure.clear();
  emit busyChanged(false);
}

void TaskRunner::waitForIdle() {
  if (!m_thread) return;
  const quint64 generation = m_generation;
  m_thread->wait();
  finish(generation);
}

}  // namespace kelvora
