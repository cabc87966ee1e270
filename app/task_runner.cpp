#include "task_runner.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace kelvora {

TaskRunner::TaskRunner(QObject* parent) : QObject(parent) {}

TaskRunner::~TaskRunner() { cancelAndWait(); }

bool TaskRunner::start(Work work) {
  if (m_thread) return false;
  const quint64 generation = ++m_generation;
  m_result = nullptr;
  m_thread = QThread::create([this, work = std::move(work)] {
    Continuation result;
    try {
      result = work();
    } catch (const std::exception&) {
      result = nullptr;
    }
    m_result = std::move(result);
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
  emit busyChanged(false);
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
  emit busyChanged(false);
}

void TaskRunner::waitForIdle() {
  if (!m_thread) return;
  const quint64 generation = m_generation;
  m_thread->wait();
  finish(generation);
}

}  // namespace kelvora
