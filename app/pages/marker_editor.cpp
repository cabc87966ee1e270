#include "pages/marker_editor.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "analysis/occlusion_finder.h"
#include "charts/marker_overlay.h"
#include "charts/plot_view.h"
#include "formats/marker_file.h"
#include "pages/marker_words.h"
#include "shell/app_context.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"

namespace kelvora {

namespace {

using M = MarkerWord;

// How close (pixels) to a marker's line a press grabs it.
constexpr int kGrabPixels = 6;

}  // namespace

MarkerEditor::MarkerEditor(AppContext* context, PlotView* chart, QWidget* parent)
    : QWidget(parent), m_context(context), m_chart(chart) {
  setObjectName(QStringLiteral("PanelAnalysisMarkers"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  m_btnSave = NamedButton("BtnSaveMarkers", QString(), this);
  m_btnFind = NamedButton("BtnFindOcclusions", QString(), this);
  m_thresholdLabel = NamedLabel("LabelOcclusionThreshold", QString(), this);
  m_threshold = NamedEdit("EditOcclusionThreshold", QStringLiteral("30"), this, 44);
  m_minimumLabel = NamedLabel("LabelOcclusionMinimum", QString(), this);
  m_minimum = NamedEdit("EditOcclusionMinimum", QStringLiteral("20"), this, 44);
  m_btnAccept = NamedButton("BtnAcceptProposals", QString(), this);
  m_btnDiscard = NamedButton("BtnDiscardProposals", QString(), this);
  m_note = NamedLabel("LabelMarkerNote", QString(), this);
  m_note->setMinimumWidth(80);
  m_note->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // its text is cut to the room it has
  m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnSave, m_btnFind, m_thresholdLabel, m_threshold,
                                                    m_minimumLabel, m_minimum, m_btnAccept, m_btnDiscard})
    row->addWidget(w);
  row->addSpacing(8);
  row->addWidget(m_note, 1);
  connect(m_btnSave, &QPushButton::clicked, this, &MarkerEditor::save);
  connect(m_btnFind, &QPushButton::clicked, this, &MarkerEditor::findOcclusions);
  connect(m_btnAccept, &QPushButton::clicked, this, &MarkerEditor::acceptProposals);
  connect(m_btnDiscard, &QPushButton::clicked, this, &MarkerEditor::discardProposals);
  connect(m_context, &AppContext::languageChanged, this, &MarkerEditor::retranslate);
  // The labels' rows depend on the plot's width: a new width (a resize, the pair's legend) lays them out again.
  connect(m_chart->chart(), &QChart::plotAreaChanged, this, [this](const QRectF& area) {
    if (!hasRecord() || std::abs(area.width() - m_drawnWidth) < 2.0) return;
    QTimer::singleShot(0, this, [this] {
      if (hasRecord() && m_dragging < 0) redraw();
    });
  });
  m_chart->viewport()->installEventFilter(this);
  m_chart->installEventFilter(this);
  m_chart->setFocusPolicy(Qt::StrongFocus);
  retranslate();
  redraw();
}

void MarkerEditor::retranslate() {
  const Language language = m_context->language();
  m_btnSave->setText(MarkerText(M::kSave, language));
  m_btnFind->setText(MarkerText(M::kFind, language));
  m_thresholdLabel->setText(MarkerText(M::kThreshold, language));
  m_minimumLabel->setText(MarkerText(M::kMinimum, language));
  m_btnAccept->setText(MarkerText(M::kAccept, language));
  m_btnDiscard->setText(MarkerText(M::kDiscard, language));
  m_noteText.clear();
  showNote(QString());
}

void MarkerEditor::showNote(const QString& text) {
  m_noteText = text;
  const QString shown = text.isEmpty() ? MarkerText(M::kHint, m_context->language()) : text;
  // The note is one line beside the buttons: a long one is cut with an ellipsis and whole in the tool tip.
  m_note->setToolTip(shown);
  m_note->setText(m_note->fontMetrics().elidedText(shown, Qt::ElideRight, std::max(80, m_note->width() - 4)));
}

void MarkerEditor::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  showNote(m_noteText);  // cut to the new width
}

void MarkerEditor::setRecord(const QString& path, double durationS, double rateHz, std::vector<Marker> markers,
                             std::shared_ptr<const std::vector<double>> values) {
  m_path = path;
  m_durationS = durationS > 0.0 && std::isfinite(durationS) ? durationS : 0.0;
  m_rateHz = rateHz;
  m_values = std::move(values);
  m_markers = SortedByTime(std::move(markers));
  m_selected = -1;
  m_dragging = -1;
  showNote(QString());
  redraw();
}

void MarkerEditor::clear() { setRecord(QString(), 0.0, 0.0, {}, nullptr); }

std::vector<Marker> MarkerEditor::accepted() const {
  std::vector<Marker> kept;
  for (const Marker& marker : m_markers)
    if (marker.source != MarkerSource::kFound) kept.push_back(marker);
  return SortedByTime(std::move(kept));
}

void MarkerEditor::redraw() {
  const bool record = hasRecord();
  m_btnSave->setEnabled(record);
  m_btnFind->setEnabled(record && m_values && !m_values->empty());
  const bool proposals = std::any_of(m_markers.begin(), m_markers.end(),
                                     [](const Marker& m) { return m.source == MarkerSource::kFound; });
  m_btnAccept->setEnabled(proposals);
  m_btnDiscard->setEnabled(proposals);
  if (!record) return;
  m_drawnWidth = m_chart->chart()->plotArea().width();
  ShowMarkers(m_chart, m_markers, m_durationS, m_selected);
}

void MarkerEditor::changed() {
  redraw();
  emit markersChanged();
}

int MarkerEditor::addMarker(double timeS, const QString& label) {
  if (!hasRecord() || !std::isfinite(timeS)) return -1;
  QString text = label.trimmed();
  if (text.isEmpty()) {
    // "Marker N" with the first N no marker has yet.
    for (int n = static_cast<int>(m_markers.size()) + 1;; ++n) {
      text = MarkerText(M::kDefaultLabel, m_context->language()).arg(n);
      const std::string name = text.toStdString();
      if (std::none_of(m_markers.begin(), m_markers.end(), [&](const Marker& m) { return m.label == name; })) break;
    }
  }
  m_markers.push_back(Marker{std::clamp(timeS, 0.0, m_durationS), 0.0, text.toStdString(), MarkerSource::kSidecar});
  m_selected = static_cast<int>(m_markers.size()) - 1;
  changed();
  return m_selected;
}

bool MarkerEditor::moveMarker(int index, double timeS) {
  if (index < 0 || index >= static_cast<int>(m_markers.size()) || !std::isfinite(timeS)) return false;
  Marker& marker = m_markers[static_cast<std::size_t>(index)];
  marker.timeS = std::clamp(timeS, 0.0, std::max(0.0, m_durationS - marker.durationS));
  // An annotation the user moved is the user's marker now: it is saved with the others.
  if (marker.source != MarkerSource::kFound) marker.source = MarkerSource::kSidecar;
  changed();
  return true;
}

bool MarkerEditor::renameMarker(int index, const QString& label) {
  if (index < 0 || index >= static_cast<int>(m_markers.size()) || label.trimmed().isEmpty()) return false;
  Marker& marker = m_markers[static_cast<std::size_t>(index)];
  marker.label = label.trimmed().toStdString();
  if (marker.source != MarkerSource::kFound) marker.source = MarkerSource::kSidecar;
  changed();
  return true;
}

bool MarkerEditor::removeMarker(int index) {
  if (index < 0 || index >= static_cast<int>(m_markers.size())) return false;
  m_markers.erase(m_markers.begin() + index);
  m_selected = -1;
  changed();
  return true;
}

bool MarkerEditor::save() {
  const Language language = m_context->language();
  if (!hasRecord()) {
    m_context->showError(MarkerText(M::kNoRecord, language));
    return false;
  }
  if (m_path.isEmpty()) {
    m_context->showError(MarkerText(M::kNoFile, language));
    return false;
  }
  const std::string sidecar = MarkerSidecarPath(m_path.toStdString());
  if (const std::optional<MarkerFileError> error = WriteMarkerSidecar(sidecar, accepted())) {
    const QString reason = error->kind == MarkerFileErrorKind::kNonFiniteTime
                               ? MarkerText(M::kNonFinite, language).arg(error->count + 1)
                               : QString::fromStdString(error->reason);
    m_context->showError(MarkerText(M::kNotSaved, language).arg(QDir::toNativeSeparators(QString::fromStdString(sidecar)), reason));
    return false;
  }
  showNote(MarkerText(M::kSaved, language).arg(QDir::toNativeSeparators(QString::fromStdString(sidecar))));
  return true;
}

bool MarkerEditor::findOcclusions() {
  const Language language = m_context->language();
  if (!hasRecord() || !m_values || m_values->empty()) {
    m_context->showError(MarkerText(M::kNoRecord, language));
    return false;
  }
  bool ok = false;
  const double percent = ParseDecimal(m_threshold->text(), &ok);
  if (!ok || !(percent >= 1.0 && percent <= 99.0)) {
    m_context->showError(MarkerText(M::kBadThreshold, language));
    return false;
  }
  const double minimum = ParseDecimal(m_minimum->text(), &ok);
  if (!ok || !(minimum > 0.0) || minimum > m_durationS + 1.0 || !std::isfinite(minimum)) {
    m_context->showError(MarkerText(M::kBadMinimum, language));
    return false;
  }
  OcclusionFinderOptions options;
  options.sampleRateHz = m_rateHz;
  options.thresholdShare = percent / 100.0;
  options.minimumSeconds = minimum;
  const OcclusionFinderResult found = FindOcclusions(*m_values, options);
  if (!found.ok()) {
    switch (found.error->kind) {
      case OcclusionFinderErrorKind::kNonFiniteSample:
        m_context->showError(MarkerText(M::kNonFinite, language).arg(found.error->sample + 1));
        break;
      case OcclusionFinderErrorKind::kNoReference:
        m_context->showError(MarkerText(M::kNoReference, language));
        break;
      default:
        m_context->showError(MarkerText(M::kNoRecord, language));
    }
    return false;
  }
  std::erase_if(m_markers, [](const Marker& m) { return m.source == MarkerSource::kFound; });
  for (std::size_t i = 0; i < found.occlusions.size(); ++i) {
    const QString k = QString::number(i + 1);
    m_markers.push_back(Marker{found.occlusions[i].startS, 0.0,
                               MarkerText(M::kOcclusionLabel, language).arg(k).toStdString(), MarkerSource::kFound});
    m_markers.push_back(Marker{std::min(found.occlusions[i].endS, m_durationS), 0.0,
                               MarkerText(M::kRecoveryLabel, language).arg(k).toStdString(), MarkerSource::kFound});
  }
  m_selected = -1;
  changed();
  showNote(found.occlusions.empty() ? MarkerText(M::kNoneFound, language) : QString());
  return true;
}

void MarkerEditor::acceptProposals() {
  bool any = false;
  for (Marker& marker : m_markers) {
    if (marker.source != MarkerSource::kFound) continue;
    marker.source = MarkerSource::kSidecar;
    any = true;
  }
  if (!any) {
    showNote(MarkerText(M::kNoProposals, m_context->language()));
    return;
  }
  m_markers = SortedByTime(std::move(m_markers));
  m_selected = -1;
  changed();
}

void MarkerEditor::discardProposals() {
  const std::size_t before = m_markers.size();
  std::erase_if(m_markers, [](const Marker& m) { return m.source == MarkerSource::kFound; });
  if (m_markers.size() == before) return;
  m_selected = -1;
  changed();
}

QPoint MarkerEditor::pointAt(double timeS) const {
  const double midY = (m_chart->axisY()->min() + m_chart->axisY()->max()) / 2.0;
  const QPointF scene = m_chart->chart()->mapToPosition(QPointF(timeS / 60.0, midY));
  return m_chart->mapFromScene(scene);
}

double MarkerEditor::timeAt(const QPoint& viewportPoint) const {
  return m_chart->chart()->mapToValue(m_chart->mapToScene(viewportPoint)).x() * 60.0;
}

int MarkerEditor::markerNear(const QPoint& viewportPoint) const {
  int best = -1;
  int bestDistance = kGrabPixels + 1;
  for (std::size_t i = 0; i < m_markers.size(); ++i) {
    const int distance = std::abs(pointAt(m_markers[i].timeS).x() - viewportPoint.x());
    if (distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

void MarkerEditor::renameDialog(int index) {
  if (index < 0 || index >= static_cast<int>(m_markers.size())) return;
  const Language language = m_context->language();
  QInputDialog dialog(this);
  dialog.setObjectName(QStringLiteral("DialogMarkerLabel"));
  dialog.setWindowTitle(MarkerText(M::kLabelTitle, language));
  dialog.setLabelText(MarkerText(M::kLabelPrompt, language));
  dialog.setTextValue(QString::fromStdString(m_markers[static_cast<std::size_t>(index)].label));
  if (dialog.exec() == QDialog::Accepted) renameMarker(index, dialog.textValue());
}

bool MarkerEditor::eventFilter(QObject* watched, QEvent* event) {
  if (!hasRecord()) return QWidget::eventFilter(watched, event);
  if (watched == m_chart && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) && m_selected >= 0) {
      removeMarker(m_selected);
      return true;
    }
    return false;
  }
  if (watched != m_chart->viewport()) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->position().toPoint();
      if (!m_chart->chart()->plotArea().contains(m_chart->mapToScene(at))) return false;
      m_chart->setFocus(Qt::MouseFocusReason);
      if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier)) {
        addMarker(timeAt(at));
        return true;
      }
      const int near = markerNear(at);
      if (near < 0) return false;
      if (mouse->button() == Qt::LeftButton) {
        m_selected = near;
        m_dragging = near;
        m_dragMoved = false;
        redraw();
        return true;
      }
      if (mouse->button() == Qt::RightButton) {
        m_selected = near;
        redraw();
        const Language language = m_context->language();
        QMenu menu(m_chart);
        menu.setObjectName(QStringLiteral("MenuMarker"));
        QAction* rename = menu.addAction(MarkerText(M::kRename, language));
        QAction* remove = menu.addAction(MarkerText(M::kDelete, language));
        QAction* chosen = menu.exec(mouse->globalPosition().toPoint());
        if (chosen == rename) renameDialog(near);
        if (chosen == remove) removeMarker(near);
        return true;
      }
      return false;
    }
    case QEvent::MouseMove: {
      if (m_dragging < 0) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      m_dragMoved = true;
      Marker& marker = m_markers[static_cast<std::size_t>(m_dragging)];
      marker.timeS = std::clamp(timeAt(mouse->position().toPoint()), 0.0, std::max(0.0, m_durationS - marker.durationS));
      ShowMarkers(m_chart, m_markers, m_durationS, m_selected);  // the others hear of it on release
      return true;
    }
    case QEvent::MouseButtonRelease: {
      if (m_dragging < 0) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      const int index = m_dragging;
      m_dragging = -1;
      if (m_dragMoved) moveMarker(index, timeAt(mouse->position().toPoint()));
      return true;
    }
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const int near = markerNear(mouse->position().toPoint());
      if (near < 0) return false;
      m_selected = near;
      renameDialog(near);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace kelvora
