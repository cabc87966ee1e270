#include "pages/analysis_page.h"

#include <thread>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <set>

#include "analysis/analysis_mat.h"
#include "analysis/analysis_csv.h"
#include "analysis/coherence_modes.h"
#include "analysis/png_encoder.h"
#include "shell/app_context.h"
#include "shell/file_drop.h"
#include "shell/file_intake.h"
#include "core/text_helpers.h"
#include "shell/language_tables.h"
#include "charts/log_frequency_chart.h"
#include "charts/marker_overlay.h"
#include "pages/marker_editor.h"
#include "pages/marker_words.h"
#include "pages/response_panel.h"
#include "pages/segment_table.h"
#include "shell/named_controls.h"
#include "shell/number_text.h"
#include "shell/page_run.h"
#include "shell/pdf_report.h"
#include "charts/plot_view.h"
#include "charts/coherence_map_view.h"
#include "charts/scalogram_view.h"
#include "shell/signal_messages.h"
#include "formats/file_layout.h"
#include "formats/signal_file.h"
#include "signals/transform_session.h"
#include "shell/task_runner.h"

namespace kelvora {

namespace {

using W = AnalysisWord;

// Table columns: those of every run, then the pair run's.
enum Column {
  kBand, kLow, kHigh, kAmplitude, kPower, kRelAmplitude, kRelPower, kCoverage,
  kCoherence, kThreshold, kSignificant, kLag, kDepth, kNote, kColumnCount
};
static_assert(kCoverage - kBand + 1 == kBandRowCellCount);
constexpr W kColumnWords[kColumnCount] = {
    W::kColumnBand,     W::kColumnLow,       W::kColumnHigh,        W::kColumnAmplitude, W::kColumnPower,
    W::kColumnRelAmplitude, W::kColumnRelPower, W::kColumnCoverage, W::kColumnCoherence, W::kColumnThreshold,
    W::kColumnSignificant, W::kColumnLag,    W::kColumnDepth,       W::kColumnNote};

// The picture's rows are repeated until it is at least this tall, as the CLI writes it.
constexpr int kPngMinHeight = 400;

QLabel* Caption(const char* name, const char* text, QWidget* parent) {
  return NamedLabel(name, QString::fromUtf8(text), parent);
}

QComboBox* NamedCombo(const char* name, int items, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(name));
  for (int i = 0; i < items; ++i) combo->addItem(QString());
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);  // the longer Russian items stay whole
  return combo;
}

void SetItems(QComboBox* combo, std::initializer_list<W> words, Language language) {
  int i = 0;
  for (W word : words) combo->setItemText(i++, AnalysisText(word, language));
}

}  // namespace

AnalysisPage::AnalysisPage(AppContext* context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("TabSheet5"));
  buildControls();
  m_run = new PageRun(context, this, [this](bool busy) { showBusy(busy); });
  connect(m_context, &AppContext::languageChanged, this, &AnalysisPage::retranslate);
  connect(m_context, &AppContext::languageChanged, this, &AnalysisPage::showStatus);
  retranslate();
  showMode();
  updateButtons();
}

AnalysisPage::~AnalysisPage() = default;

void AnalysisPage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  // Row 1: mode and source.
  auto* row1 = new QHBoxLayout;
  m_radioSingle = new QRadioButton(QStringLiteral("One record"), this);
  m_radioSingle->setObjectName(QStringLiteral("RadioAnalysisSingle"));
  m_radioSingle->setChecked(true);
  m_radioPair = new QRadioButton(QStringLiteral("T and BF pair"), this);
  m_radioPair->setObjectName(QStringLiteral("RadioAnalysisPair"));
  m_source = NamedCombo("ComboAnalysisSource", 4, this);
  m_pairSource = NamedCombo("ComboAnalysisPairSource", 2, this);
  m_btnOpen = NamedButton("BtnAnalysisOpen", QStringLiteral("File..."), this);
  m_btnOpenT = NamedButton("BtnAnalysisOpenT", QStringLiteral("T file..."), this);
  m_btnOpenBF = NamedButton("BtnAnalysisOpenBF", QStringLiteral("BF file..."), this);
  m_sourceName = NamedEdit("EditAnalysisSourceName", QString(), this);
  m_sourceName->setReadOnly(true);
  m_sourceName->setMinimumWidth(160);
  m_rate = NamedEdit("EditAnalysisRate", QStringLiteral("2"), this, 60);
  row1->addWidget(m_radioSingle);
  row1->addWidget(m_radioPair);
  row1->addSpacing(12);
  row1->addWidget(Caption("LabelAnalysisSource", "Source:", this));
  row1->addWidget(m_source);
  row1->addWidget(m_pairSource);
  row1->addWidget(m_btnOpen);
  row1->addWidget(m_btnOpenT);
  row1->addWidget(m_btnOpenBF);
  row1->addWidget(m_sourceName, 1);
  row1->addWidget(Caption("LabelAnalysisRate", "File rate, Hz", this));
  row1->addWidget(m_rate);
  layout->addLayout(row1);

  // Row 2: the settings and "Calculation".
  auto* row2 = new QHBoxLayout;
  m_controls = AnalysisControls::Make(this, "Analysis");
  m_bands = m_controls.bands;
  m_customBands = m_controls.customBands;
  m_f0 = m_controls.f0;
  m_voices = m_controls.voices;
  m_fmin = m_controls.fmin;
  m_fmax = m_controls.fmax;
  m_detrend = m_controls.detrend;
  m_surrogatesLabel = m_controls.surrogatesLabel;
  m_surrogates = m_controls.surrogates;
  m_seedLabel = m_controls.seedLabel;
  m_seed = m_controls.seed;
  m_moda = new QCheckBox(QStringLiteral("MODA-compatible"), this);
  m_moda->setObjectName(QStringLiteral("CheckAnalysisModa"));
  m_btnCalc = NamedButton("BtnAnalysisCalc", QStringLiteral("Calculation"), this);
  // In pair mode the surrogates, seed and MODA box go to the third row, beside the wrapping note: on the second
  // they squeezed the band set's edit over its combo at 1280 pixels.
  m_controls.addBandsTo(row2);
  row2->addWidget(m_btnCalc);
  layout->addLayout(row2);

  // Row 3: what the picture shows, the exports and the depth.
  auto* row3 = new QHBoxLayout;
  m_quantity = NamedCombo("ComboAnalysisQuantity", 2, this);
  m_colour = NamedCombo("ComboAnalysisColour", 2, this);
  const char* exportNames[4] = {"BtnAnalysisSaveTable", "BtnAnalysisSaveSpectrum", "BtnAnalysisSavePng",
                                "BtnAnalysisSaveMatrix"};
  row3->addWidget(Caption("LabelAnalysisShow", "Show:", this));
  row3->addWidget(m_quantity);
  row3->addWidget(m_colour);
  row3->addSpacing(12);
  for (int i = 0; i < 4; ++i) {
    m_btnExport[i] = NamedButton(exportNames[i], QString(), this);
    row3->addWidget(m_btnExport[i]);
    connect(m_btnExport[i], &QPushButton::clicked, this, [this, i] { saveDialog(static_cast<Export>(i)); });
  }
  row3->addSpacing(12);
  m_btnUseDepth = NamedButton("BtnAnalysisUseDepth", QStringLiteral("Use this depth"), this);
  row3->addWidget(m_btnUseDepth);
  m_controls.addSurrogatesTo(row3);
  row3->addWidget(m_moda);
  m_status = NamedLabel("LabelAnalysisStatus", QString(), this);
  m_status->setWordWrap(true);  // a long note takes a second line rather than being cut
  row3->addStretch(1);
  layout->addLayout(row3);
  // The note on its own line: beside the third row's controls it wrapped into a narrow column.
  layout->addWidget(m_status);

  // The charts and the table.
  auto* split = new QSplitter(Qt::Horizontal, this);
  auto* markerRow = new QHBoxLayout;
  layout->addLayout(markerRow);
  split->setObjectName(QStringLiteral("SplitterAnalysis"));
  auto* left = new QSplitter(Qt::Vertical, split);
  left->setObjectName(QStringLiteral("SplitterAnalysisLeft"));
  m_signalChart = new PlotView(QStringLiteral("ChartAnalysisSignal"), left);
  m_signalChart->setTitle(QStringLiteral("Signal"));
  m_signalChart->setBottomTitle(QStringLiteral("t, min"));
  m_signalChart->addLineSeries(QStringLiteral("SeriesAnalysisSignal"), QColor(0x20, 0x40, 0xc0));
  m_signalChart->addLineSeries(QStringLiteral("SeriesAnalysisSecond"), QColor(0xc0, 0x20, 0x20));
  FileDrop::Install(m_signalChart, [this](const QString& path) { dropFile(path); });
  m_markerEditor = new MarkerEditor(m_context, m_signalChart, this);
  markerRow->addWidget(m_markerEditor);
  connect(m_markerEditor, &MarkerEditor::markersChanged, this, &AnalysisPage::markersEdited);
  m_scalogram = new ScalogramView(QStringLiteral("AnalysisScalogram"), left);
  left->addWidget(m_signalChart);
  left->addWidget(m_scalogram);
  m_map = new CoherenceMapView(QStringLiteral("AnalysisCoherenceMap"), left);
  left->addWidget(m_map);
  m_map->hide();
  left->setStretchFactor(0, 2);
  left->setStretchFactor(1, 3);
  left->setStretchFactor(2, 2);
  left->setSizes({320, 480});

  auto* right = new QSplitter(Qt::Vertical, split);
  right->setObjectName(QStringLiteral("SplitterAnalysisRight"));
  m_curves = new QStackedWidget(right);
  m_curves->setObjectName(QStringLiteral("StackAnalysisCurves"));
  m_spectrumChart = new LogFrequencyChart(QStringLiteral("ChartAnalysisSpectrum"), m_curves);
  m_spectrumChart->setTitle(QStringLiteral("Time-averaged amplitude"));
  m_spectrumChart->setBottomTitle(QStringLiteral("f, Hz"));
  auto* pairCharts = new QWidget(m_curves);
  auto* pairLayout = new QVBoxLayout(pairCharts);
  pairLayout->setContentsMargins(0, 0, 0, 0);
  pairLayout->setSpacing(2);
  m_coherenceChart = new LogFrequencyChart(QStringLiteral("ChartAnalysisCoherence"), pairCharts);
  m_lagChart = new LogFrequencyChart(QStringLiteral("ChartAnalysisLag"), pairCharts);
  m_depthChart = new LogFrequencyChart(QStringLiteral("ChartAnalysisDepth"), pairCharts);
  for (LogFrequencyChart* chart : {m_coherenceChart, m_lagChart, m_depthChart}) {
    chart->setBottomTitle(QStringLiteral("f, Hz"));
    // Three charts share the height: thin margins, and the legend beside the plot, so that each plot keeps room
    // for its axis titles and labels.
    chart->chart()->setMargins(QMargins(2, 2, 2, 2));
    pairLayout->addWidget(chart, 1);
  }
  m_coherenceChart->chart()->legend()->setAlignment(Qt::AlignRight);
  m_curves->addWidget(m_spectrumChart);
  m_curves->addWidget(pairCharts);
  m_table = new QTableWidget(0, kColumnCount, right);
  m_table->setObjectName(QStringLiteral("AnalysisBandTable"));
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->verticalHeader()->hide();
  // Every column as wide as its header and its cells (the notes are long sentences): the table scrolls instead.
  m_table->horizontalHeader()->setStretchLastSection(false);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_tables = new QTabWidget(right);
  m_tables->setObjectName(QStringLiteral("TabsAnalysisTables"));
  m_segmentTable = new SegmentTable(m_tables);
  m_response = new ResponsePanel(m_signalChart, m_tables);
  m_tables->addTab(m_table, QString());
  m_tables->addTab(m_segmentTable, QString());
  m_tables->addTab(m_response, QString());
  right->addWidget(m_curves);
  right->addWidget(m_tables);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  right->setSizes({330, 470});
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  split->setSizes({800, 800});
  layout->addWidget(split, 1);

  connect(m_radioPair, &QRadioButton::toggled, this, [this](bool on) { setPairMode(on); });
  connect(m_btnOpen, &QPushButton::clicked, this, [this] { openDialog(FileSlot::Single); });
  connect(m_btnOpenT, &QPushButton::clicked, this, [this] { openDialog(FileSlot::PairT); });
  connect(m_btnOpenBF, &QPushButton::clicked, this, [this] { openDialog(FileSlot::PairBF); });
  connect(m_source, &QComboBox::currentIndexChanged, this, [this] { showMode(); });
  connect(m_pairSource, &QComboBox::currentIndexChanged, this, [this] { showMode(); });
  connect(m_bands, &QComboBox::currentIndexChanged, this, [this] { showMode(); });
  connect(m_btnCalc, &QPushButton::clicked, this, &AnalysisPage::calculate);
  connect(m_quantity, &QComboBox::currentIndexChanged, this, &AnalysisPage::showPicture);
  connect(m_colour, &QComboBox::currentIndexChanged, this, &AnalysisPage::showPicture);
  connect(m_btnUseDepth, &QPushButton::clicked, this, &AnalysisPage::useSelectedDepth);
  connect(m_table, &QTableWidget::itemSelectionChanged, this, &AnalysisPage::updateButtons);
  // A setting of the next run that changes after a run marks the shown result out of date.
  for (QLineEdit* edit : {m_rate, m_customBands, m_f0, m_fmin, m_fmax, m_seed})
    connect(edit, &QLineEdit::textEdited, this, &AnalysisPage::markOutdated);
  for (QComboBox* box : {m_bands, m_detrend})
    connect(box, &QComboBox::currentIndexChanged, this, &AnalysisPage::markOutdated);
  for (QSpinBox* box : {m_voices, m_surrogates})
    connect(box, &QSpinBox::valueChanged, this, &AnalysisPage::markOutdated);
  // A result made from the Transform page's records goes when they are replaced.
  connect(m_context, &AppContext::transformRecordsReplaced, this, [this] {
    if (m_resultFromTransform) clearResult();
  });
}

void AnalysisPage::retranslate() {
  const Language language = m_context->language();
  SetItems(m_source, {W::kSourceFile, W::kSourceT, W::kSourceBF, W::kSourcePpg}, language);
  SetItems(m_pairSource, {W::kPairTransform, W::kPairFiles}, language);
  m_controls.retranslate(language);
  SetItems(m_quantity, {W::kAmplitude, W::kPower}, language);
  SetItems(m_colour, {W::kColourLinear, W::kColourLog}, language);
  QStringList headers;
  for (W word : kColumnWords) headers << AnalysisText(word, language);
  m_table->setHorizontalHeaderLabels(headers);
  m_spectrumChart->setLeftTitle(AnalysisText(W::kAxisAmplitude, language));
  // The three pair charts are low: their titles name the quantity, the left axes only the unit.
  const bool ru = language == Language::Russian;
  m_coherenceChart->setLeftTitle(QString());
  m_lagChart->setLeftTitle(ru ? QStringLiteral("с") : QStringLiteral("s"));
  m_depthChart->setLeftTitle(ru ? QStringLiteral("мм") : QStringLiteral("mm"));
  // A list never gets narrower than its longest item in the chosen language.
  for (QComboBox* combo : findChildren<QComboBox*>()) combo->setMinimumWidth(combo->sizeHint().width());
  m_scalogram->setLabels({AnalysisText(m_coherence ? W::kScalogramTitleBF : W::kScalogramTitle, language),
                          AnalysisText(W::kAxisTime, language), AnalysisText(W::kAxisFrequency, language),
                          AnalysisText(W::kHoverTime, language), AnalysisText(W::kHoverFrequency, language),
                          AnalysisText(W::kHoverValue, language), AnalysisText(W::kHoverOutsideCone, language),
                          AnalysisText(W::kUnitMinutes, language), AnalysisText(W::kUnitHertz, language)});
  m_map->setTitle(AnalysisText(W::kCoherenceMapTitle, language));
  m_tables->setTabText(0, MarkerText(MarkerWord::kTabBands, language));
  m_tables->setTabText(1, MarkerText(MarkerWord::kTabSegments, language));
  m_tables->setTabText(2, MarkerText(MarkerWord::kTabResponse, language));
  m_segmentTable->setResult(m_result, m_segmentsOutdated, language, m_coherence);
  m_response->retranslate(language);
  // The shown result's band names, notes and curve names follow the language.
  showResult();
  showStatus();
}

void AnalysisPage::showStatus() {
  const Language language = m_context->language();
  QStringList parts;
  if (m_coherence && m_coherence->truncated) {
    parts << AnalysisText(W::kTruncated, language).arg(m_coherence->droppedSamples);
  }
  if (m_result) {
    // A band of the chosen set that lies outside the analysed range is not in the table: the page names it and
    // says why.
    const FrequencyBand range = m_result->frequencyRange;
    for (const AnalysisBand& band : m_result->table.omitted) {
      parts << AnalysisOmittedBandText(band, range, language);
    }
  }
  QString text = parts.join(QStringLiteral("; "));
  // A result made before a setting changed says so first.
  if (m_result && m_outdated)
    text = m_resultLabel + OutdatedSuffix(language) + (text.isEmpty() ? QString() : QStringLiteral("; ") + text);
  else if (m_result && m_segmentsOutdated)
    text = m_resultLabel + MarkerText(MarkerWord::kMarkersOutdated, language) +
           (text.isEmpty() ? QString() : QStringLiteral("; ") + text);
  m_status->setText(text);
  m_status->setToolTip(m_status->text());
}

void AnalysisPage::showMode() {
  const bool single = !m_pair;
  const Source source = static_cast<Source>(m_source->currentIndex());
  const bool pairFiles = m_pairSource->currentIndex() == static_cast<int>(PairSource::Files);
  m_source->setVisible(single);
  m_btnOpen->setVisible(single);
  m_pairSource->setVisible(!single);
  m_btnOpenT->setVisible(!single && pairFiles);
  m_btnOpenBF->setVisible(!single && pairFiles);
  m_surrogatesLabel->setVisible(!single);
  m_surrogates->setVisible(!single);
  m_seedLabel->setVisible(!single);
  m_seed->setVisible(!single);
  m_moda->setVisible(!single);
  m_btnUseDepth->setVisible(!single);
  // The pair's three charts, hidden in the stack in single mode, would make the one curve as tall as they are.
  for (LogFrequencyChart* chart : {m_coherenceChart, m_lagChart, m_depthChart}) chart->setMinimumHeight(single ? 0 : 150);
  m_customBands->setEnabled(m_bands->currentIndex() == 2);
  m_rate->setEnabled(single ? source == Source::File : pairFiles);
  if (single) {
    m_sourceName->setText(source == Source::File ? m_files[0].label : QString());
  } else if (pairFiles) {
    m_sourceName->setText(m_files[1].label + QStringLiteral("  |  ") + m_files[2].label);
  } else {
    m_sourceName->clear();
  }
}

void AnalysisPage::setPairMode(bool pair) {
  // Unchecking the checked radio of the pair does nothing: the other one is checked. Comes back here through
  // toggled.
  if (m_radioPair->isChecked() != pair) (pair ? m_radioPair : m_radioSingle)->setChecked(true);
  if (pair == m_pair) return;
  m_pair = pair;
  // The result of the other mode is not shown under this one.
  clearResult();
  showMode();
  updateButtons();
}

void AnalysisPage::openDialog(FileSlot slot) {
  const QString path = QFileDialog::getOpenFileName(
      this, m_context->russian() ? QStringLiteral("Сигнал") : QStringLiteral("Signal"), QString(), OpenFileFilter());
  if (!path.isEmpty()) openFile(slot, path);
}

void AnalysisPage::dropFile(const QString& path) {
  FileSlot slot = FileSlot::Single;
  if (m_pair) slot = m_files[static_cast<std::size_t>(FileSlot::PairT)].values.empty() ? FileSlot::PairT
                                                                                      : FileSlot::PairBF;
  openFile(slot, path);
}

bool AnalysisPage::openFile(FileSlot slot, const QString& path) {
  if (m_context->refuseWhileHeld()) return false;
  IntakeRequest request;
  request.target = slot == FileSlot::PairT    ? ImportTarget::Temperature
                   : slot == FileSlot::PairBF ? ImportTarget::BloodFlow
                                              : ImportTarget::Signal;
  request.maxSamples = kMaxAnalysisRecordSamples;
  bool ok = false;
  const double typed = ParseDecimal(m_rate->text(), &ok);
  if (ok && typed >= 1.0 && typed == std::floor(typed)) request.typedRateHz = static_cast<int>(typed);
  // The other file of a pair fixes the rate this one must have.
  const std::optional<double> otherRate = pairPartnerRate(slot);
  if (otherRate && *otherRate == std::floor(*otherRate)) request.requiredRateHz = static_cast<int>(*otherRate);
  const std::optional<IntakeResult> taken = TakeFile(this, *m_context, path, request);
  if (!taken || isBusy()) return false;
  if (taken->signalText()) return loadFile(slot, path);
  const ImportedRecord& record = taken->records.front();
  if (record.record.values.empty() || !(record.rateHz > 0.0)) return false;
  if (!pairRatesAgree(slot, record.rateHz)) return false;
  Input& input = m_files[static_cast<std::size_t>(slot)];
  input.values.assign(record.record.values.begin(), record.record.values.begin() + record.record.count());
  input.label = QFileInfo(path).fileName();
  input.rateHz = record.rateHz;
  input.rateFromFile = true;
  input.markers = RecordFileMarkers(path.toStdString(), record.markers);
  input.path = path;
  showFileSlot(slot);
  return true;
}

std::optional<double> AnalysisPage::pairPartnerRate(FileSlot slot) const {
  if (slot == FileSlot::Single) return std::nullopt;
  const Input& other = m_files[static_cast<std::size_t>(slot == FileSlot::PairT ? FileSlot::PairBF : FileSlot::PairT)];
  if (other.values.empty()) return std::nullopt;
  if (other.rateFromFile) return other.rateHz;
  bool ok = false;
  const double typed = ParseDecimal(m_rate->text(), &ok);
  return ok && typed > 0.0 ? std::optional<double>(typed) : std::nullopt;
}

bool AnalysisPage::pairRatesAgree(FileSlot slot, double rateHz) {
  const std::optional<double> other = pairPartnerRate(slot);
  if (!other || *other == rateHz) return true;
  const double t = slot == FileSlot::PairT ? rateHz : *other;
  const double bf = slot == FileSlot::PairT ? *other : rateHz;
  m_context->showError(
      AnalysisText(W::kPairRatesDiffer, m_context->language()).arg(FormatDecimal(t, 6)).arg(FormatDecimal(bf, 6)));
  return false;
}

void AnalysisPage::showFileSlot(FileSlot slot) {
  // A new file replaces a record: nothing made before it stays shown.
  clearResult();
  if (slot == FileSlot::Single) {
    m_source->setCurrentIndex(static_cast<int>(Source::File));
  } else {
    m_pairSource->setCurrentIndex(static_cast<int>(PairSource::Files));
  }
  showMode();
}

bool AnalysisPage::loadFile(FileSlot slot, const QString& path) {
  if (isBusy()) return false;
  SignalReadResult read = ReadSignalFile(path.toStdString(), false, DecimalFormat::ForSeparator(DecimalSeparatorByte()),
                                          kMaxAnalysisRecordSamples);
  if (!read.ok()) {
    m_context->showError(FileErrorText(*read.error, m_context->language()));
    return false;
  }
  if (read.record.empty()) {
    m_context->showError(QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                         AnalysisText(W::kNoFile, m_context->language()));
    return false;
  }
  // A one-column file has no rate of its own: it is at the typed "File rate, Hz".
  bool typedOk = false;
  const double typed = ParseDecimal(m_rate->text(), &typedOk);
  if (typedOk && typed > 0.0 && !pairRatesAgree(slot, typed)) return false;
  Input& input = m_files[static_cast<std::size_t>(slot)];
  input.values = std::move(read.record.values);
  input.values.resize(static_cast<std::size_t>(read.record.count()));
  input.label = QFileInfo(path).fileName();
  input.rateHz = 0.0;
  input.rateFromFile = false;
  input.markers = RecordFileMarkers(path.toStdString());
  input.path = path;
  showFileSlot(slot);
  if (read.truncated) m_context->showError(BigFileText(read, m_context->language()));
  return true;
}

std::optional<AnalysisPage::Input> AnalysisPage::singleInput() {
  const Language language = m_context->language();
  const Source source = static_cast<Source>(m_source->currentIndex());
  if (source == Source::File) {
    if (m_files[0].values.empty()) {
      m_context->showError(AnalysisText(W::kNoFile, language));
      return std::nullopt;
    }
    return fileInput(m_files[0]);
  }
  if (source == Source::PpgEnvelope) {
    Envelope envelope = m_envelopeSource ? m_envelopeSource() : Envelope{};
    if (envelope.values.empty() || !(envelope.rateHz > 0.0)) {
      m_context->showError(AnalysisText(W::kNoEnvelope, language));
      return std::nullopt;
    }
    Input input{std::move(envelope.values), envelope.rateHz, AnalysisText(W::kSourcePpg, language), false, {}, {}};
    input.markers = m_sourceMarkers[input.label];
    return input;
  }
  return pairInput(source == Source::Temperature ? 0 : 1);
}

// A loaded file at its own rate, or a one-column file at the rate of "File rate, Hz"; nothing (with the message shown) when that is not a positive number.
std::optional<AnalysisPage::Input> AnalysisPage::fileInput(const Input& file) {
  if (file.rateFromFile) return file;
  bool ok = false;
  const double rateHz = ParseDecimal(m_rate->text(), &ok);
  if (!ok || !(rateHz > 0.0)) {
    m_context->showError(AnalysisText(W::kBadRate, m_context->language()));
    return std::nullopt;
  }
  Input input = file;
  input.rateHz = rateHz;
  return input;
}

// Side 0 is T, 1 BF: the pair's file or the Transform page's record (read here, on the UI thread, as a copy).
std::optional<AnalysisPage::Input> AnalysisPage::pairInput(int side) {
  const Language language = m_context->language();
  const bool files = m_pair && m_pairSource->currentIndex() == static_cast<int>(PairSource::Files);
  if (files) {
    const Input& file = m_files[static_cast<std::size_t>(side + 1)];
    if (file.values.empty()) {
      m_context->showError((side == 0 ? QStringLiteral("T: ") : QStringLiteral("BF: ")) +
                           AnalysisText(W::kNoFile, language));
      return std::nullopt;
    }
    return fileInput(file);
  }
  const TransformSession* session = m_context->session();
  const Side which = side == 0 ? Side::Temperature : Side::BloodFlow;
  if (!session || !session->loaded(which)) {
    m_context->showError(AnalysisText(side == 0 ? W::kNoRecordT : W::kNoRecordBF, language));
    return std::nullopt;
  }
  const SignalRecord& record = session->record(which);
  Input input;
  input.values.assign(record.values.begin(), record.values.begin() + record.count());
  input.rateHz = session->sampleRate();
  input.label = side == 0 ? QStringLiteral("T") : QStringLiteral("BF");
  input.markers = m_sourceMarkers[input.label];
  return input;
}

std::optional<AnalysisPage::Settings> AnalysisPage::readSettings(double rateHz) {
  QString error;
  const std::optional<AnalysisControls::Values> values = m_controls.read(
      rateHz, AnalysisWorkerCount(m_context->potoks()), m_pair, m_context->language(), &error);
  if (!values) {
    m_context->showError(error);
    return std::nullopt;
  }
  return Settings{values->analysis, values->surrogates, values->seed};
}

bool AnalysisPage::calculate() {
  if (m_context->refuseWhileHeld()) return false;
  ProgressSink* sink = &m_run->sink();
  if (!m_pair) {
    std::optional<Input> input = singleInput();
    if (!input) return false;
    std::optional<Settings> settings = readSettings(input->rateHz);
    if (!settings) return false;
    // The segments the record's markers cut it into get their own tables from the same transform.
    settings->analysis.segments =
        segmentsOf(input->markers, static_cast<double>(input->values.size()) / input->rateHz);
    AnalysisProvenance made;
    made.options = settings->analysis;
    made.sources = {input->label.toStdString()};
    const Source source = static_cast<Source>(m_source->currentIndex());
    const bool fromTransform = source == Source::Temperature || source == Source::BloodFlow;
    auto shared = std::make_shared<Input>(std::move(*input));
    m_run->setKind(RunKind::Analysis);
    return m_run->start([this, shared, options = settings->analysis, sink, made, fromTransform]() -> PageRun::Outcome {
      auto outcome = std::make_shared<AnalysisOutcome>(AnalyzeRecord(shared->values, options, *sink));
      return {[this, outcome, shared, options, made, fromTransform] {
                if (!outcome->ok()) {
                  if (outcome->error->kind != AnalysisErrorKind::kStopped) {
                    m_context->showError(AnalysisErrorText(*outcome->error, options, m_context->language()));
                  }
                  return;
                }
                m_made = made;
                m_outdated = false;
                m_resultFromTransform = fromTransform;
                showSingle(std::make_shared<const AnalysisResult>(std::move(outcome->result)), std::move(*shared));
              },
              outcome->ok()};
    });
  }

  std::optional<Input> t = pairInput(0);
  if (!t) return false;
  std::optional<Input> bf = pairInput(1);
  if (!bf) return false;
  if (t->rateHz != bf->rateHz) {
    m_context->showError(AnalysisText(W::kPairRatesDiffer, m_context->language())
                             .arg(FormatDecimal(t->rateHz, 6))
                             .arg(FormatDecimal(bf->rateHz, 6)));
    return false;
  }
  const std::optional<Settings> settings = readSettings(t->rateHz);
  if (!settings) return false;
  CoherenceOptions coherence;
  coherence.analysis = settings->analysis;
  coherence.surrogatePairs = settings->surrogates;
  coherence.seed = settings->seed;
  if (const TransformSession* session = m_context->session()) {
    const TissueParameters& tissue = session->tissueParameters();
    coherence.tissue.lambda = tissue.wave.lambda;
    coherence.tissue.rho = tissue.shitzer.rhoSkin;
    coherence.tissue.heatCapacity = tissue.wave.heatCapacity;
  }
  if (const std::optional<CoherenceError> error = CheckCoherenceOptions(coherence)) {
    m_context->showError(CoherenceErrorText(*error, coherence.analysis, m_context->language()));
    return false;
  }
  AnalysisProvenance made;
  made.options = coherence.analysis;
  made.pair = true;
  made.surrogatePairs = coherence.surrogatePairs;
  made.seed = coherence.seed;
  made.lambda = coherence.tissue.lambda;
  made.rho = coherence.tissue.rho;
  made.heatCapacity = coherence.tissue.heatCapacity;
  made.sources = {t->label.toStdString(), bf->label.toStdString()};
  made.rankThresholdOfBloodFlowSurrogates = m_moda->isChecked();
  const bool fromTransform = m_pairSource->currentIndex() == static_cast<int>(PairSource::Transform);
  // The BF record's segments (the T record's markers when BF has none), from BF's own transform.
  AnalysisOptions bloodFlowOptions = coherence.analysis;
  bloodFlowOptions.segments = segmentsOf(bf->markers.empty() ? t->markers : bf->markers,
                                         static_cast<double>(std::min(t->values.size(), bf->values.size())) / t->rateHz);
  made.options.segments = bloodFlowOptions.segments;
  auto inputs = std::make_shared<std::array<Input, 2>>(std::array<Input, 2>{std::move(*t), std::move(*bf)});
  m_run->setKind(RunKind::Coherence);
  CoherenceModeOptions modes;
  if (m_moda->isChecked()) {
    modes.transform = ModaTransformForm();
    modes.surrogatesOf = SurrogatesOf::kBloodFlow;
    modes.thresholdRule = ThresholdRule::kRank;
  }
  modes.overTime = true;
  modes.coherence = coherence;
  // The pair's coherence per segment (BF's segments), as coherence --segments makes it, in the same run; it goes
  // with the plain transform and threshold only.
  if (!m_moda->isChecked()) modes.coherence.segments = bloodFlowOptions.segments;
  return m_run->start([this, inputs, coherence, bloodFlowOptions, modes, sink, made, fromTransform]() -> PageRun::Outcome {
    struct Both {
      AnalysisOutcome record;
      CoherenceModeOutcome pair;
    };
    auto both = std::make_shared<Both>();
    // The picture and the amplitude columns are those of BF, cut to the samples the coherence uses.
    const std::size_t used = std::min((*inputs)[0].values.size(), (*inputs)[1].values.size());
    both->record = AnalyzeRecord(std::span<const double>((*inputs)[1].values.data(), used), bloodFlowOptions, *sink);
    if (both->record.ok()) both->pair = AnalyzeCoherenceModes((*inputs)[0].values, (*inputs)[1].values, modes, *sink);
    const bool ok = both->record.ok() && both->pair.ok();
    return {[this, both, inputs, options = coherence.analysis, made, fromTransform] {
              const Language language = m_context->language();
              if (!both->record.ok()) {
                if (both->record.error->kind != AnalysisErrorKind::kStopped) {
                  m_context->showError(QStringLiteral("BF: ") +
                                       AnalysisErrorText(*both->record.error, options, language));
                }
                return;
              }
              if (!both->pair.ok()) {
                if (both->pair.error->kind != CoherenceErrorKind::kStopped) {
                  m_context->showError(CoherenceErrorText(*both->pair.error, options, language));
                }
                return;
              }
              m_made = made;
              m_outdated = false;
              m_resultFromTransform = fromTransform;
              std::shared_ptr<const CoherenceOverTime> map;
              if (both->pair.result.overTime)
                map = std::make_shared<const CoherenceOverTime>(std::move(*both->pair.result.overTime));
              showPair(std::make_shared<const AnalysisResult>(std::move(both->record.result)),
                       std::make_shared<const CoherenceResult>(std::move(both->pair.result.coherence)), std::move(map),
                       std::move((*inputs)[0]), std::move((*inputs)[1]));
            },
            ok};
  });
}

void AnalysisPage::showSingle(std::shared_ptr<const AnalysisResult> result, Input input) {
  m_result = std::move(result);
  m_coherence.reset();
  m_map->setMap(nullptr);
  m_map->hide();
  m_resultLabel = input.label;
  showStatus();
  const double step = 1.0 / input.rateHz / 60.0;
  auto flux = std::make_shared<const std::vector<double>>(input.values);
  m_signalChart->clearAll();
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("SeriesAnalysisSignal")), input.values,
                                0.0, step);
  const Source source = static_cast<Source>(m_source->currentIndex());
  showRecord(input, flux, source == Source::File ? static_cast<int>(FileSlot::Single) : -1, [](double v) { return v; });
  m_curves->setCurrentIndex(0);
  // The band, segment and response tables need more room than the one curve.
  if (auto* right = findChild<QSplitter*>(QStringLiteral("SplitterAnalysisRight"))) right->setSizes({330, 470});
  if (auto* split = findChild<QSplitter*>(QStringLiteral("SplitterAnalysis"))) split->setSizes({800, 800});
  m_signalChart->series(QStringLiteral("SeriesAnalysisSignal"))->setName(m_resultLabel);
  m_signalChart->chart()->legend()->setVisible(false);
  retranslate();  // the titles that depend on the kind of result, then the result itself
}

void AnalysisPage::showPair(std::shared_ptr<const AnalysisResult> result,
                            std::shared_ptr<const CoherenceResult> coherence,
                            std::shared_ptr<const CoherenceOverTime> map, Input t, Input bf) {
  m_result = std::move(result);
  m_coherence = std::move(coherence);
  m_map->setMap(std::move(map));
  m_map->show();
  m_resultLabel = t.label + QStringLiteral(" / ") + bf.label;
  const Language language = m_context->language();
  (void)language;
  showStatus();
  const double step = 1.0 / t.rateHz / 60.0;
  // T and BF have different units: both are drawn on a 0 .. 1 scale of their own range.
  auto scaled = [](std::vector<double> values) {
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double low = *lo, span = *hi - *lo;
    for (double& v : values) v = span > 0.0 ? (v - low) / span : 0.0;
    return values;
  };
  m_signalChart->clearAll();
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("SeriesAnalysisSignal")), scaled(bf.values), 0.0,
                                step);
  m_signalChart->setUniformData(m_signalChart->series(QStringLiteral("SeriesAnalysisSecond")), scaled(t.values), 0.0,
                                step);
  {
    // The markers and the measures are those of BF (T's markers when BF has none), drawn on BF's 0 .. 1 scale.
    const auto [lo, hi] = std::minmax_element(bf.values.begin(), bf.values.end());
    const double low = *lo, span = *hi - *lo;
    const bool files = m_pairSource->currentIndex() == static_cast<int>(PairSource::Files);
    const bool ownMarkers = !bf.markers.empty() || t.markers.empty();
    Input shown = ownMarkers ? bf : t;
    shown.values = bf.values;
    shown.values.resize(std::min(t.values.size(), bf.values.size()));
    auto flux = std::make_shared<const std::vector<double>>(shown.values);
    const int slot = !files ? -1 : static_cast<int>(ownMarkers ? FileSlot::PairBF : FileSlot::PairT);
    showRecord(shown, flux, slot, [low, span](double v) { return span > 0.0 ? (v - low) / span : 0.0; });
  }
  m_curves->setCurrentIndex(1);
  // The three curve charts need the height more than the few band rows.
  if (auto* right = findChild<QSplitter*>(QStringLiteral("SplitterAnalysisRight"))) right->setSizes({560, 270});
  if (auto* split = findChild<QSplitter*>(QStringLiteral("SplitterAnalysis"))) split->setSizes({700, 900});
  // The coherence map under the scalogram gets a share of the height (it was hidden when the sizes were set).
  if (auto* left = findChild<QSplitter*>(QStringLiteral("SplitterAnalysisLeft"))) left->setSizes({240, 300, 220});
  m_signalChart->series(QStringLiteral("SeriesAnalysisSignal"))->setName(QStringLiteral("BF"));
  m_signalChart->series(QStringLiteral("SeriesAnalysisSecond"))->setName(QStringLiteral("T"));
  m_signalChart->chart()->legend()->setAlignment(Qt::AlignRight);
  m_signalChart->chart()->legend()->setVisible(true);
  retranslate();
}

void AnalysisPage::showResult() {
  fillTable();
  showPicture();
  const Language language = m_context->language();
  std::vector<LogFrequencyChart::Shade> shades;
  std::vector<ScalogramView::BandLine> lines;
  std::set<double> edges;
  if (m_result) {
    for (const BandRow& row : m_result->table.rows) {
      shades.push_back({row.band.range.low, row.band.range.high});
      lines.push_back({row.band.range.low, AnalysisBandName(row.band, language)});
      edges.insert(row.band.range.low);
    }
    for (const BandRow& row : m_result->table.rows) {
      if (!edges.count(row.band.range.high)) lines.push_back({row.band.range.high, QString()});
    }
  }
  m_scalogram->setResult(m_result, std::move(lines));
  if (!m_result) return;
  LogFrequencyChart::Curve amplitude{AnalysisText(W::kAmplitude, language), QColor(0x20, 0x40, 0xc0), {}, {}};
  for (const SpectrumPoint& p : m_result->spectrum) {
    amplitude.frequenciesHz.push_back(p.frequencyHz);
    amplitude.values.push_back(p.amplitude);
  }
  amplitude.name = QStringLiteral("SeriesAnalysisSpectrum");
  m_spectrumChart->setCurves({amplitude}, shades, 0.0);
  if (m_coherence) {
    LogFrequencyChart::Curve pi{AnalysisText(W::kCurveCoherence, language), QColor(0x20, 0x40, 0xc0), {}, {}};
    LogFrequencyChart::Curve threshold{AnalysisText(W::kCurveThreshold, language), QColor(0xd0, 0x30, 0x30), {}, {}};
    threshold.dashed = true;
    LogFrequencyChart::Curve lag{AnalysisText(W::kAxisLag, language), QColor(0x10, 0x80, 0x40), {}, {}};
    LogFrequencyChart::Curve depth{AnalysisText(W::kAxisDepth, language), QColor(0x80, 0x30, 0xa0), {}, {}};
    depth.points = true;
    for (const CoherencePoint& p : m_coherence->points) {
      for (LogFrequencyChart::Curve* c : {&pi, &threshold, &lag, &depth}) c->frequenciesHz.push_back(p.frequencyHz);
      pi.values.push_back(p.coherence);
      threshold.values.push_back(p.threshold);
      lag.values.push_back(p.lagSeconds);
      depth.values.push_back(p.depthMm);
    }
    m_coherenceChart->setCurves({pi, threshold}, shades, 0.0, 1.0);
    m_lagChart->setCurves({lag}, shades);
    m_depthChart->setCurves({depth}, shades, 0.0);
  }
}

void AnalysisPage::fillTable() {
  // A refill (a language switch) keeps the chosen band for "Use this depth".
  const int selected = m_table->currentRow();
  m_table->clearContents();
  m_table->setRowCount(0);
  for (int c = kCoherence; c <= kDepth; ++c) m_table->setColumnHidden(c, !m_coherence);
  // The pair's columns take the place of the relative values and the coverage (they stay in the single run).
  for (int c : {kRelAmplitude, kRelPower, kCoverage}) m_table->setColumnHidden(c, m_coherence != nullptr);
  if (!m_result) return;
  const Language language = m_context->language();
  const std::vector<BandRow>& rows = m_result->table.rows;
  m_table->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const BandRow& row = rows[static_cast<std::size_t>(r)];
    QString cells[kColumnCount];
    const std::array<QString, kBandRowCellCount> shared = BandRowCells(row, language);
    std::copy(shared.begin(), shared.end(), cells + kBand);
    cells[kNote] = AnalysisNoteText(row.note, row.neededMinutes, language, DecimalSeparatorByte());
    if (m_coherence) {
      for (const CoherenceBandRow& band : m_coherence->bands) {
        if (band.band.name != row.band.name) continue;
        cells[kCoherence] = FormatOptional(band.coherence, 4);
        cells[kThreshold] = FormatOptional(band.threshold, 4);
        cells[kSignificant] = FormatDecimal(100.0 * band.significantShare, 4);
        cells[kLag] = FormatOptional(band.lagSeconds, 4);
        cells[kDepth] = FormatOptional(band.depthMm, 4);
      }
    }
    for (int c = 0; c < kColumnCount; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c != kBand && c != kNote) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      m_table->setItem(r, c, item);
    }
  }
  if (selected >= 0 && selected < m_table->rowCount()) m_table->selectRow(selected);
  updateButtons();
}

void AnalysisPage::showPicture() {
  m_scalogram->setQuantity(m_quantity->currentIndex() == 1 ? ScalogramQuantity::kPower : ScalogramQuantity::kAmplitude,
                           m_colour->currentIndex() == 1 ? ColourScale::kLogarithmic : ColourScale::kLinear);
}

void AnalysisPage::clearResult() {
  if (!m_result && !m_coherence) return;
  m_result.reset();
  m_coherence.reset();
  m_map->setMap(nullptr);
  m_map->hide();
  m_made.reset();
  m_outdated = false;
  m_resultFromTransform = false;
  m_resultLabel.clear();
  m_signalChart->clearAll();
  m_shownFlux.reset();
  m_shownSegments.clear();
  m_segmentsOutdated = false;
  m_markerEditor->clear();
  m_response->clear(m_context->language());
  m_scalogram->setMarkers({}, {});
  m_map->setMarkers({}, {});
  m_segmentTable->setResult(nullptr, false, m_context->language());
  m_spectrumChart->setCurves({}, {}, 0.0);
  m_coherenceChart->setCurves({}, {}, 0.0, 1.0);
  m_lagChart->setCurves({}, {});
  m_depthChart->setCurves({}, {}, 0.0);
  showResult();
  showStatus();
  updateButtons();
}

void AnalysisPage::markOutdated() {
  if (!m_result || m_outdated) return;
  m_outdated = true;
  showStatus();
}

QStringList AnalysisPage::reportLines() const {
  QStringList lines;
  if (!m_result || !m_made) return lines;
  const AnalysisProvenance& p = *m_made;
  const AnalysisOptions& o = p.options;
  const AnalysisResult& r = *m_result;
  const Language language = m_context->language();
  const auto number = [](double v) { return QString::number(v, 'g', 6); };
  QStringList sources;
  for (const std::string& source : p.sources) sources << QString::fromStdString(source);
  lines << QStringLiteral("program: Kelvora ") + QString::fromStdString(p.programVersion)
        << QStringLiteral("source: ") + sources.join(QStringLiteral(" / ")) +
               (m_outdated ? OutdatedSuffix(language) : QString())
        << QStringLiteral("samples: ") + QString::number(r.sampleCount) + QStringLiteral(" at ") +
               number(o.sampleRateHz) + QStringLiteral(" Hz")
        << QStringLiteral("f0: ") + number(o.centreFrequency) + QStringLiteral(", voices per octave: ") +
               QString::number(o.voicesPerOctave) + QStringLiteral(", frequencies: ") +
               QString::number(r.frequenciesHz.size())
        << QStringLiteral("f_min .. f_max, Hz: ") + number(r.frequencyRange.low) + QStringLiteral(" .. ") +
               number(r.frequencyRange.high);
  constexpr W kDetrendWords[] = {W::kDetrendNone, W::kDetrendMean, W::kDetrendLinear, W::kDetrendCubic};
  lines << QStringLiteral("detrend: ") + AnalysisText(kDetrendWords[static_cast<int>(o.detrend)], language);
  QStringList bands;
  for (const AnalysisBand& band : o.bands)
    bands << AnalysisBandName(band, language) + QStringLiteral(" ") + number(band.range.low) + QStringLiteral("-") +
                 number(band.range.high);
  lines << QStringLiteral("bands, Hz: ") + bands.join(QStringLiteral(", "));
  lines << SegmentReportLines(r, m_segmentsOutdated, language);
  if (p.pair) {
    lines << QStringLiteral("surrogate pairs: ") + QString::number(p.surrogatePairs) + QStringLiteral(", seed: ") +
                 QString::number(p.seed) +
                 (p.rankThresholdOfBloodFlowSurrogates ? QStringLiteral(", BF surrogates, rank threshold")
                                                       : QStringLiteral(", threshold: 95th percentile"))
          << QStringLiteral("tissue: lambda ") + number(p.lambda) + QStringLiteral(" W/(m K), rho ") + number(p.rho) +
                 QStringLiteral(" kg/m^3, c ") + number(p.heatCapacity) + QStringLiteral(" J/(kg K)");
  }
  return lines;
}

std::vector<Segment> AnalysisPage::segmentsOf(const std::vector<Marker>& markers, double durationS) const {
  return RecordSegments(markers, durationS, MarkerText(MarkerWord::kBefore, m_context->language()).toStdString());
}

void AnalysisPage::showRecord(const Input& input, std::shared_ptr<const std::vector<double>> flux, int slot,
                              std::function<double(double)> yOf) {
  m_shownFlux = flux;
  m_shownRateHz = input.rateHz;
  m_shownSlot = slot;
  m_shownLabel = input.label;
  m_shownY = std::move(yOf);
  const double durationS = static_cast<double>(flux->size()) / input.rateHz;
  m_markerEditor->setRecord(slot >= 0 ? input.path : QString(), durationS, input.rateHz, input.markers, flux);
  markersEdited();
}

void AnalysisPage::markersEdited() {
  if (!m_shownFlux || !m_result) return;
  const Language language = m_context->language();
  const std::vector<Marker> accepted = m_markerEditor->accepted();
  // The next run takes the markers as edited.
  if (m_shownSlot >= 0) {
    m_files[static_cast<std::size_t>(m_shownSlot)].markers = accepted;
  } else {
    m_sourceMarkers[m_shownLabel] = accepted;
  }
  m_shownSegments = segmentsOf(accepted, m_markerEditor->durationS());
  m_scalogram->setMarkers(m_markerEditor->markers(), m_shownSegments);
  m_map->setMarkers(m_markerEditor->markers(), m_shownSegments);
  // The per-segment tables are of the segments the run had: other segments make them out of date.
  const std::vector<SegmentAnalysis>& made = m_result->segments;
  bool same = made.size() == m_shownSegments.size();
  for (std::size_t i = 0; same && i < made.size(); ++i)
    same = made[i].segment.startS == m_shownSegments[i].startS && made[i].segment.endS == m_shownSegments[i].endS &&
           made[i].segment.name == m_shownSegments[i].name;
  m_segmentsOutdated = !same;
  m_segmentTable->setResult(m_result, m_segmentsOutdated, language, m_coherence);
  m_response->setRecord(m_shownFlux, m_shownRateHz, m_shownSegments, m_shownY, language);
  showStatus();
}

void AnalysisPage::reportDialog() {
  // Nothing to write is said before a file name is asked for.
  if (!m_result) {
    m_context->showError(AnalysisText(W::kNoResult, m_context->language()));
    return;
  }
  const QString name = QFileDialog::getSaveFileName(this, m_context->russian() ? QStringLiteral("Отчёт") : QStringLiteral("Report"), QString(),
                                                    QStringLiteral("PDF file (*.pdf)"));
  if (!name.isEmpty()) writeReport(name);
}

bool AnalysisPage::writeReport(const QString& name) {
  if (isBusy()) return false;
  if (!m_result) {
    m_context->showError(AnalysisText(W::kNoResult, m_context->language()));
    return false;
  }
  const QString path = QString::fromStdString(EnsureExtension(name.toStdString(), ".pdf"));
  PdfReport report;
  report.title = QStringLiteral("Kelvora - Analysis");
  // The segments' lines need room of their own below the pictures.
  report.textPercent = m_result->segments.empty() ? 14 : 34;
  std::vector<QWidget*> cells = {m_signalChart, m_coherence ? static_cast<QWidget*>(m_coherenceChart) : m_spectrumChart,
                                 m_scalogram};
  if (m_coherence) {
    cells.insert(cells.end(), {m_lagChart, m_table, m_depthChart});
  } else {
    cells.push_back(m_table);
  }
  for (QWidget* widget : cells) {
    report.cells.push_back([widget](QPainter& painter, const QRect& cell) { RenderWidgetCell(painter, widget, cell); });
  }
  report.lines = reportLines();
  if (const std::optional<QString> error = WritePdfReport(path, report)) {
    m_context->showError(QStringLiteral("Cannot write the report ") + path + QStringLiteral(": ") + *error);
    return false;
  }
  return true;
}

bool AnalysisPage::exportTo(Export kind, const QString& path) {
  const Language language = m_context->language();
  if (!m_result) {
    m_context->showError(AnalysisText(W::kNoResult, language));
    return false;
  }
  if (kind != Export::ScalogramPng && LowerExtension(path.toStdString()) == ".mat") return exportMatTo(kind, path);
  std::string text;
  switch (kind) {
    case Export::Table:
      if (m_coherence) {
        text = CoherenceTableCsv(*m_coherence);
      } else if (m_tables->currentWidget() == m_segmentTable && !m_result->segments.empty()) {
        // The segment tab shown: its table, as analyze --segments writes it, from the segments of the run.
        text = kSegmentBandTableCsvHeader;
        for (const SegmentAnalysis& segment : m_result->segments)
          text += SegmentBandTableCsvRows(m_resultLabel.toStdString(), segment, [language](const BandRow& row) {
            return AnalysisNoteText(row.note, row.neededMinutes, language, '.').toStdString();
          });
      } else {
        text = std::string(kBandTableCsvHeader) +
               BandTableCsvRows(m_resultLabel.toStdString(), m_result->table, [language](const BandRow& row) {
                 return AnalysisNoteText(row.note, row.neededMinutes, language, '.').toStdString();
               });
      }
      break;
    case Export::Spectrum:
      if (m_coherence) {
        text = CoherenceCurvesCsv(*m_coherence);
      } else {
        text = SpectrumCsv(*m_result);
      }
      break;
    case Export::ScalogramPng: {
      const int rows = static_cast<int>(m_result->picture.rows());
      if (rows == 0) {
        m_context->showError(AnalysisText(W::kNoResult, language));
        return false;
      }
      const int rowHeight = std::max(1, (kPngMinHeight + rows - 1) / rows);
      text = EncodePng(RenderScalogram(
          m_result->picture, m_quantity->currentIndex() == 1 ? ScalogramQuantity::kPower : ScalogramQuantity::kAmplitude,
          m_colour->currentIndex() == 1 ? ColourScale::kLogarithmic : ColourScale::kLinear, rowHeight));
      break;
    }
    case Export::ScalogramCsv:
      text = ScalogramCsv(*m_result);
      break;
  }
  if (const std::optional<SignalFileError> error = WriteTextFileAtomically(path.toStdString(), text)) {
    m_context->showError(FileErrorText(*error, m_context->language()));
    return false;
  }
  return true;
}

bool AnalysisPage::exportMatTo(Export kind, const QString& path) {
  const Language language = m_context->language();
  // The variables of the result itself (its rate, its bands), as the CLI's --mat writes them.
  std::vector<MatValue> variables;
  if (kind == Export::ScalogramCsv) {
    variables = ScalogramMat(*m_result);
  } else if (m_coherence) {
    const char* wanted = kind == Export::Table ? "coherence_bands" : "coherence_curves";
    for (MatValue& v : CoherenceMat(*m_coherence))
      if (v.name == wanted) variables.push_back(std::move(v));
  } else if (kind == Export::Table) {
    std::vector<std::string> notes;
    for (const BandRow& row : m_result->table.rows)
      notes.push_back(AnalysisNoteText(row.note, row.neededMinutes, language, '.').toStdString());
    variables.push_back(BandTableMat({{m_resultLabel.toStdString(), &m_result->table}}, notes));
  } else {
    variables.push_back(SpectrumMat(*m_result));
  }
  if (variables.empty()) {
    m_context->showError(AnalysisText(W::kNoResult, language));
    return false;
  }
  variables.push_back(MatValue::Scalar("fs", m_result->sampleRateHz));
  if (const auto error = WriteMatFile(path.toStdString(), variables)) {
    m_context->showError(RecordFileErrorText(*error, language));
    return false;
  }
  return true;
}

void AnalysisPage::saveDialog(Export kind) {
  if (!m_result) {
    m_context->showError(AnalysisText(W::kNoResult, m_context->language()));
    return;
  }
  const bool png = kind == Export::ScalogramPng;
  const QString mat = QStringLiteral("MATLAB file (*.mat)");
  QString filter;
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Kelvora"), QString(),
      png ? QStringLiteral("PNG picture (*.png)") : QStringLiteral("CSV file (*.csv);;") + mat, &filter);
  if (path.isEmpty()) return;
  const bool matChosen = !png && (filter == mat || path.endsWith(QStringLiteral(".mat"), Qt::CaseInsensitive));
  const std::string ending = png ? ".png" : matChosen ? ".mat" : ".csv";
  exportTo(kind, QString::fromStdString(EnsureExtension(path.toStdString(), ending)));
}

bool AnalysisPage::useSelectedDepth() {
  const Language language = m_context->language();
  const int r = m_table->currentRow();
  std::optional<double> depth;
  if (m_coherence && m_result && r >= 0 && r < static_cast<int>(m_result->table.rows.size())) {
    const std::string& name = m_result->table.rows[static_cast<std::size_t>(r)].band.name;
    for (const CoherenceBandRow& band : m_coherence->bands) {
      if (band.band.name == name) depth = band.depthMm;
    }
  }
  if (!depth || !(*depth > 0.0) || !std::isfinite(*depth)) {
    m_context->showError(AnalysisText(W::kNoDepth, language));
    return false;
  }
  if (!m_context->handOverDepth(*depth)) {
    m_context->showError(AnalysisText(W::kTransformBusy, language));
    return false;
  }
  return true;
}

int AnalysisWorkerCount(int potoks) {
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return std::clamp(potoks, 1, std::min(cores, kMaxAnalysisThreads));
}

bool AnalysisPage::isBusy() const { return m_run->isBusy(); }

void AnalysisPage::updateButtons() {
  const bool busy = m_run && m_run->isBusy();
  for (QPushButton* button : m_btnExport) button->setEnabled(!busy && m_result);
  m_btnExport[2]->setEnabled(!busy && m_result && !m_result->picture.empty());
  m_btnExport[3]->setEnabled(!busy && m_result && !m_result->picture.empty());
  m_btnUseDepth->setEnabled(!busy && m_coherence && m_table->currentRow() >= 0);
}

void AnalysisPage::showBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{m_btnCalc, m_btnOpen, m_btnOpenT, m_btnOpenBF, m_radioSingle,
                                                    m_radioPair, m_source, m_pairSource}) {
    w->setEnabled(!busy);
  }
  updateButtons();
  setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

}  // namespace kelvora
