#include "charts/width_animation.h"

namespace kelvora {

namespace {

constexpr int kTickMs = 20;

}  // namespace

WidthAnimation::WidthAnimation(const char* timerName, QObject* parent) : QObject(parent) {
  m_timer.setObjectName(QString::fromLatin1(timerName));
  m_timer.setInterval(kTickMs);
  connect(&m_timer, &QTimer::timeout, this, &WidthAnimation::tick);
}

void WidthAnimation::start(int from, std::function<int()> target, std::function<void(int)> apply,
                           std::function<void()> done) {
  m_width = from;
  m_target = std::move(target);
  m_apply = std::move(apply);
  m_done = std::move(done);
  m_timer.start();
}

void WidthAnimation::tick() {
  const int target = m_target();
  const int remaining = target - m_width;
  // Half of the remaining distance, rounded up.
  m_width += remaining > 0 ? (remaining + 1) / 2 : -((-remaining + 1) / 2);
  m_apply(m_width);
  if (m_width != target) return;
  m_timer.stop();
  if (std::function<void()> done = std::move(m_done)) done();
}

}  // namespace kelvora
