#include "dialogs/import_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cctype>
#include <functional>

#include "shell/language_tables.h"
#include "shell/number_text.h"
#include "formats/block_resample.h"
#include "formats/delimited_reader.h"
// The header summary has a member named like Qt's "signals" keyword.
#undef signals
#include "formats/edf_header_check.h"
#define signals Q_SIGNALS
#include "formats/ppg_file.h"
#include "formats/record_file.h"
#include "formats/record_file_error.h"
#include "formats/record_import.h"

namespace kelvora {

namespace {

using W = ImportWord;

// The separators of the combo box, in its order.
constexpr char kSeparators[] = {',', ';', '\t', kWhitespaceSeparator};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The entry of `names` (positions into `numbers`) that likely holds the target's signal: a name such as "T",
// "temp" for temperature, "BF", "LDF", "flow", "perfusion" for blood flow, "PPG" for a photoplethysmogram; else
// the first entry (the second for the blood flow of a pair).
int GuessChoice(const std::vector<std::string>& names, ImportTarget target, bool secondOfPair) {
  static const std::vector<std::string> kTemperature = {"t", "temp", "temperature", "skin temperature", "tsk"};
  static const std::vector<std::string> kBloodFlow = {"bf", "ldf", "flow", "blood flow", "perfusion", "pu", "lda"};
  static const std::vector<std::string> kPpg = {"ppg", "pleth", "pulse"};
  const std::vector<std::string>& wanted =
      target == ImportTarget::Temperature ? kTemperature : target == ImportTarget::Ppg ? kPpg : kBloodFlow;
  if (target != ImportTarget::Signal) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string name = Lower(NameWithoutUnit(names[i]));
      for (const std::string& w : wanted) {
        if (name == w || name.rfind(w + " ", 0) == 0 || name.rfind(w + "_", 0) == 0) return static_cast<int>(i);
      }
    }
  }
  if (secondOfPair && names.size() > 1) return 1;
  return 0;
}

// Runs `work` on a thread of its own while the dialog's events go on (the file may be large).
void RunOffThread(const std::function<void()>& work) {
  QEventLoop loop;
  QThread* thread = QThread::create(work);
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  thread->start();
  if (!thread->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread->wait();
  delete thread;
}

QTableWidget* NamedTable(const char* name, int columns, QWidget* parent) {
  auto* table = new QTableWidget(0, columns, parent);
  table->setObjectName(QString::fromLatin1(name));
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

// Compact rows, and room for `rows` of them (or all, when fewer) without a scroll bar.
void FitRows(QTableWidget* table, int rows) {
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
  const int shown = std::max(1, std::min(rows, table->rowCount()));
  table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() +
                          shown * table->verticalHeader()->defaultSectionSize() + 2 * table->frameWidth() + 2);
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int c = 0; c < cells.size(); ++c) table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

}  // namespace

QString OpenFileFilter() {
  return QStringLiteral(
      "Text file (*.txt);;Instrument files (*.csv *.tsv *.txt *.dat *.asc *.edf *.bdf *.rec *.mat);;"
      "LabChart text export (*.txt);;MATLAB file (*.mat);;All files (*)");
}

QString MatVariableText(const MatVariableInfo& variable) {
  QString size;
  for (std::size_t i = 0; i < variable.dims.size(); ++i) {
    if (i > 0) size += QStringLiteral(" × ");
    size += QString::number(variable.dims[i]);
  }
  return QString::fromStdString(variable.name) + QStringLiteral("  ") + size;
}

ImportDialog::ImportDialog(const QString& path, const FileLayout& fileLayout, const Options& options, QWidget* parent)
    : QDialog(parent), m_path(path), m_options(options) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(ImportText(W::kTitle, options.language) + QStringLiteral(" - ") + QFileInfo(path).fileName());
  m_edf = fileLayout.format == FileFormat::kEdf;
  m_block = fileLayout.format == FileFormat::kLabChartText || fileLayout.format == FileFormat::kMat;
  if (m_block) m_fileLayout = fileLayout;

  auto* layout = new QVBoxLayout(this);
  auto* pathLabel = new QLabel(path, this);
  pathLabel->setObjectName(QStringLiteral("ImportPath"));
  pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(pathLabel);
  if (m_edf) {
    buildEdfPart();
  } else if (m_block) {
    buildBlockPart();
  } else {
    buildTextPart();
  }
  buildRecordPart();
  m_message = new QLabel(this);
  m_message->setObjectName(QStringLiteral("ImportMessage"));
  m_message->setWordWrap(true);
  m_message->setStyleSheet(QStringLiteral("color: #b00000;"));
  layout->addWidget(m_message);
  auto* buttons = new QDialogButtonBox(this);
  m_import = buttons->addButton(QStringLiteral("Import"), QDialogButtonBox::AcceptRole);
  m_import->setObjectName(QStringLiteral("ImportButton"));
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("ImportCancel"));
  connect(m_import, &QPushButton::clicked, this, [this] {
    if (importNow()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
  applyTexts();

  if (m_edf) {
    showEdfInfo(fileLayout.edf);
  } else if (m_block) {
    showBlockInfo();
  } else {
    m_head = ReadFileStart(path.toStdString(), kLayoutDetectionBytes);
    detectLayout(false);
  }
  resize(760, m_edf ? 560 : m_block && !m_fileLayout.blocks.empty() ? 720 : 640);
}

ImportDialog::~ImportDialog() = default;

QString ImportDialog::word(int w) const { return ImportText(static_cast<ImportWord>(w), m_options.language); }

void ImportDialog::buildTextPart() {
  auto* top = static_cast<QVBoxLayout*>(layout());
  m_previewText = new QPlainTextEdit(this);
  m_previewText->setObjectName(QStringLiteral("ImportPreview"));
  m_previewText->setReadOnly(true);
  m_previewText->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_previewText->setFont(QFont(QStringLiteral("Monospace")));
  m_previewText->setMinimumHeight(150);
  top->addWidget(m_previewText, 2);

  m_layoutBox = new QGroupBox(QStringLiteral("Layout"), this);
  m_layoutBox->setObjectName(QStringLiteral("ImportLayoutBox"));
  auto* grid = new QGridLayout(m_layoutBox);
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  m_separator = new QComboBox(this);
  m_separator->setObjectName(QStringLiteral("ImportSeparator"));
  for (int w : {int(W::kComma), int(W::kSemicolon), int(W::kTab), int(W::kWhitespace)}) m_separator->addItem(word(w));
  m_decimal = new QComboBox(this);
  m_decimal->setObjectName(QStringLiteral("ImportDecimal"));
  m_decimal->addItem(word(int(W::kPoint)));
  m_decimal->addItem(word(int(W::kDecimalComma)));
  m_headerLines = new QSpinBox(this);
  m_headerLines->setObjectName(QStringLiteral("ImportHeaderLines"));
  m_headerLines->setRange(0, 100000);
  m_timeColumn = new QComboBox(this);
  m_timeColumn->setObjectName(QStringLiteral("ImportTimeColumn"));
  grid->addWidget(label("ImportSeparatorLabel"), 0, 0);
  grid->addWidget(m_separator, 0, 1);
  grid->addWidget(label("ImportDecimalLabel"), 0, 2);
  grid->addWidget(m_decimal, 0, 3);
  grid->addWidget(label("ImportHeaderLinesLabel"), 1, 0);
  grid->addWidget(m_headerLines, 1, 1);
  grid->addWidget(label("ImportTimeColumnLabel"), 1, 2);
  grid->addWidget(m_timeColumn, 1, 3);
  m_columns = NamedTable("ImportColumns", 3, this);
  m_columns->setHorizontalHeaderLabels({word(int(W::kColumnHeader)), word(int(W::kNameHeader)),
                                        word(int(W::kUnitHeader))});
  m_columns->setMinimumHeight(110);
  grid->addWidget(m_columns, 2, 0, 1, 4);
  top->addWidget(m_layoutBox, 2);

  auto changed = [this] {
    if (!m_updating) detectLayout(true);
  };
  connect(m_separator, &QComboBox::currentIndexChanged, this, changed);
  connect(m_decimal, &QComboBox::currentIndexChanged, this, changed);
  connect(m_headerLines, &QSpinBox::valueChanged, this, changed);
  connect(m_timeColumn, &QComboBox::currentIndexChanged, this, changed);
}

void ImportDialog::buildEdfPart() {
  auto* top = static_cast<QVBoxLayout*>(layout());
  auto* channelsBox = new QGroupBox(QStringLiteral("Channels"), this);
  channelsBox->setObjectName(QStringLiteral("ImportChannelsBox"));
  auto* v = new QVBoxLayout(channelsBox);
  m_channels = NamedTable("ImportChannels", 5, this);
  m_channels->setHorizontalHeaderLabels({QStringLiteral("#"), word(int(W::kLabelHeader)), word(int(W::kUnitHeader)),
                                         word(int(W::kRateHeader)), word(int(W::kSamplesHeader))});
  v->addWidget(m_channels);
  top->addWidget(channelsBox, 2);
  auto* annotationsBox = new QGroupBox(QStringLiteral("Annotations"), this);
  annotationsBox->setObjectName(QStringLiteral("ImportAnnotationsBox"));
  auto* a = new QVBoxLayout(annotationsBox);
  m_annotations = NamedTable("ImportAnnotations", 3, this);
  m_annotations->setHorizontalHeaderLabels(
      {word(int(W::kTimeHeader)), word(int(W::kDurationHeader)), word(int(W::kTextHeader))});
  a->addWidget(m_annotations);
  top->addWidget(annotationsBox, 1);
}

void ImportDialog::buildBlockPart() {
  auto* top = static_cast<QVBoxLayout*>(layout());
  if (m_fileLayout.format == FileFormat::kMat) {
    auto* box = new QGroupBox(QStringLiteral("Variables"), this);
    box->setObjectName(QStringLiteral("ImportVariablesBox"));
    auto* v = new QVBoxLayout(box);
    m_variables = new QListWidget(this);
    m_variables->setObjectName(QStringLiteral("ImportVariables"));
    m_variables->setSelectionMode(QAbstractItemView::NoSelection);
    m_variables->setFont(QFont(QStringLiteral("Monospace")));
    v->addWidget(m_variables);
    top->addWidget(box, 1);
  }
  auto* channelsBox = new QGroupBox(QStringLiteral("Channels"), this);
  channelsBox->setObjectName(QStringLiteral("ImportChannelsBox"));
  auto* c = new QVBoxLayout(channelsBox);
  m_channels = NamedTable("ImportChannels", 5, this);
  m_channels->setHorizontalHeaderLabels({QStringLiteral("#"), word(int(W::kNameHeader)), word(int(W::kUnitHeader)),
                                         word(int(W::kRateHeader)), word(int(W::kSamplesHeader))});
  c->addWidget(m_channels);
  top->addWidget(channelsBox, 2);
  if (!m_fileLayout.blocks.empty()) {
    auto* blocksBox = new QGroupBox(QStringLiteral("Blocks"), this);
    blocksBox->setObjectName(QStringLiteral("ImportBlocksBox"));
    auto* b = new QVBoxLayout(blocksBox);
    m_blocks = NamedTable("ImportBlocks", 4, this);
    m_blocks->setHorizontalHeaderLabels({word(int(W::kBlockHeader)), word(int(W::kStartHeader)),
                                         word(int(W::kSamplesHeader)), word(int(W::kCommentsHeader))});
    b->addWidget(m_blocks);
    top->addWidget(blocksBox, 1);
    auto* commentsBox = new QGroupBox(QStringLiteral("Comments"), this);
    commentsBox->setObjectName(QStringLiteral("ImportCommentsBox"));
    auto* a = new QVBoxLayout(commentsBox);
    m_annotations = NamedTable("ImportAnnotations", 3, this);
    m_annotations->setHorizontalHeaderLabels(
        {word(int(W::kBlockHeader)), word(int(W::kTimeHeader)), word(int(W::kTextHeader))});
    a->addWidget(m_annotations);
    top->addWidget(commentsBox, 1);
  }
}

void ImportDialog::showBlockInfo() {
  if (m_variables) {
    for (const MatVariableInfo& v : m_fileLayout.variables) {
      auto* item = new QListWidgetItem(MatVariableText(v), m_variables);
      item->setToolTip(QString::fromStdString(v.className));
    }
  }
  const std::vector<FileChannel>& channels = m_fileLayout.channels;
  m_channels->setRowCount(static_cast<int>(channels.size()));
  std::vector<std::string> names;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const FileChannel& ch = channels[i];
    SetRow(m_channels, static_cast<int>(i),
           {QString::number(i + 1), QString::fromStdString(ch.name), QString::fromStdString(ch.unit),
            ch.sampleRateHz > 0 ? FormatDecimal(ch.sampleRateHz, 6) : QStringLiteral("-"),
            ch.samples >= 0 ? QString::number(ch.samples) : QStringLiteral("-")});
    names.push_back(ch.name);
    numbers.push_back(static_cast<int>(i) + 1);  // the choice's data: the 1-based entry of the layout's signals
  }
  m_channels->resizeColumnsToContents();
  FitRows(m_channels, 4);
  if (m_blocks) {
    m_blocks->setRowCount(static_cast<int>(m_fileLayout.blocks.size()));
    int comments = 0;
    for (const FileBlock& b : m_fileLayout.blocks) comments += static_cast<int>(b.markers.size());
    m_annotations->setRowCount(comments);
    int row = 0;
    for (std::size_t i = 0; i < m_fileLayout.blocks.size(); ++i) {
      const FileBlock& b = m_fileLayout.blocks[i];
      QString start = QStringLiteral("-");
      if (b.startDays) {
        // A MATLAB day number less the days to Excel's day 0, 1899-12-30, as the file's clock shows it.
        const double days = *b.startDays - kExcelToMatlabDays;
        const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        start = epoch.addMSecs(static_cast<qint64>(std::llround(days * 86400000.0))).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
      }
      long long samples = 0;
      for (const FileChannel& c : b.channels) samples = std::max(samples, c.samples);
      SetRow(m_blocks, static_cast<int>(i),
             {QString::number(i + 1), start, QString::number(samples), QString::number(b.markers.size())});
      for (const Marker& m : b.markers) {
        SetRow(m_annotations, row++, {QString::number(i + 1), FormatDecimal(m.timeS, 8), QString::fromStdString(m.label)});
      }
    }
    m_blocks->resizeColumnsToContents();
    m_annotations->resizeColumnsToContents();
    FitRows(m_blocks, 3);
    FitRows(m_annotations, 4);
  }
  if (m_blockChoice) {
    for (std::size_t i = 0; i < m_fileLayout.blocks.size(); ++i) m_blockChoice->addItem(QString::number(i + 1), static_cast<int>(i) + 1);
    if (m_fileLayout.blocks.size() > 1) m_blockChoice->addItem(word(int(W::kBlocksJoined)), 0);
  }
  fillChoices(names, numbers);
  updatePreview();
}

const FileChannel* ImportDialog::chosenSignal(const QComboBox* box) const {
  const std::vector<FileChannel>& channels = m_fileLayout.channels;
  const ChannelRef ref = choiceRef(box);
  if (ref.number >= 1 && ref.number <= static_cast<int>(channels.size())) return &channels[static_cast<std::size_t>(ref.number - 1)];
  std::vector<std::string> names;
  for (const FileChannel& c : channels) names.push_back(c.name);
  const int found = FindByRef(names, ref);
  return found > 0 ? &channels[static_cast<std::size_t>(found - 1)] : nullptr;
}

double ImportDialog::blockRate(const FileChannel& signal) const {
  if (signal.sampleRateHz > 0) return signal.sampleRateHz;
  const std::optional<double> typed = typedRate();
  return typed.value_or(0.0);
}

void ImportDialog::buildRecordPart() {
  auto* box = new QGroupBox(QStringLiteral("Record"), this);
  box->setObjectName(QStringLiteral("ImportRecordBox"));
  auto* grid = new QGridLayout(box);
  const ImportTarget target = m_options.target;
  const int firstWord = target == ImportTarget::Temperature ? int(W::kTemperature)
                        : target == ImportTarget::BloodFlow ? int(W::kBloodFlow)
                        : target == ImportTarget::Ppg       ? int(W::kPpg)
                                                            : int(W::kSignal);
  m_choiceLabel = new QLabel(word(firstWord), this);
  m_choiceLabel->setObjectName(QStringLiteral("ImportChoiceLabel"));
  m_choice = new QComboBox(this);
  m_choice->setObjectName(QStringLiteral("ImportChoice"));
  m_choice->setEditable(true);
  m_choice->setMinimumWidth(220);
  grid->addWidget(m_choiceLabel, 0, 0);
  grid->addWidget(m_choice, 0, 1);
  m_pair = new QCheckBox(QStringLiteral("Import pair"), this);
  m_pair->setObjectName(QStringLiteral("ImportPair"));
  m_choiceBFLabel = new QLabel(word(int(W::kBloodFlow)), this);
  m_choiceBFLabel->setObjectName(QStringLiteral("ImportChoiceBFLabel"));
  m_choiceBF = new QComboBox(this);
  m_choiceBF->setObjectName(QStringLiteral("ImportChoiceBF"));
  m_choiceBF->setEditable(true);
  grid->addWidget(m_pair, 1, 0, 1, 2);
  grid->addWidget(m_choiceBFLabel, 2, 0);
  grid->addWidget(m_choiceBF, 2, 1);
  m_pair->setVisible(m_options.pairAllowed);
  m_choiceBFLabel->setEnabled(false);
  m_choiceBF->setEnabled(false);
  m_choiceBFLabel->setVisible(m_options.pairAllowed);
  m_choiceBF->setVisible(m_options.pairAllowed);

  int row = 3;
  if (m_block) {
    m_blockLabel = new QLabel(this);
    m_blockLabel->setObjectName(QStringLiteral("ImportBlockLabel"));
    m_blockChoice = new QComboBox(this);
    m_blockChoice->setObjectName(QStringLiteral("ImportBlock"));
    grid->addWidget(m_blockLabel, row, 0);
    grid->addWidget(m_blockChoice, row++, 1, Qt::AlignLeft);
    m_blockLabel->setVisible(m_fileLayout.blocks.size() > 1);
    m_blockChoice->setVisible(m_fileLayout.blocks.size() > 1);
    connect(m_blockChoice, &QComboBox::currentIndexChanged, this, [this] { updatePreview(); });
    // Only a plain MATLAB file without fs leaves the rate to the user.
    bool rated = true;
    for (const FileChannel& c : m_fileLayout.channels) rated = rated && c.sampleRateHz > 0;
    if (!rated) {
      // The typed rate is the only choice here: a label, the radio button kept checked out of sight.
      m_rateTyped = new QRadioButton(this);
      m_rateTyped->setChecked(true);
      m_rateTyped->hide();
      auto* rateLabel = new QLabel(QStringLiteral("Rate, Hz:"), this);
      rateLabel->setObjectName(QStringLiteral("ImportRateTypedLabel"));
      m_rate = new QLineEdit(this);
      m_rate->setObjectName(QStringLiteral("ImportRate"));
      m_rate->setMaximumWidth(100);
      if (m_options.typedRateHz > 0) m_rate->setText(QString::number(m_options.typedRateHz));
      grid->addWidget(rateLabel, row, 0);
      grid->addWidget(m_rate, row++, 1, Qt::AlignLeft);
      connect(m_rate, &QLineEdit::textEdited, this, [this] { updatePreview(); });
    }
  } else if (!m_edf) {
    m_rateFromTime = new QRadioButton(QStringLiteral("Rate from the time column"), this);
    m_rateFromTime->setObjectName(QStringLiteral("ImportRateFromTime"));
    m_rateTyped = new QRadioButton(QStringLiteral("Rate, Hz:"), this);
    m_rateTyped->setObjectName(QStringLiteral("ImportRateTyped"));
    m_rate = new QLineEdit(this);
    m_rate->setObjectName(QStringLiteral("ImportRate"));
    m_rate->setMaximumWidth(100);
    m_rateFromTime->setChecked(true);
    if (m_options.typedRateHz > 0) m_rate->setText(QString::number(m_options.typedRateHz));
    grid->addWidget(m_rateFromTime, row, 0);
    auto* typed = new QHBoxLayout;
    typed->addWidget(m_rateTyped);
    typed->addWidget(m_rate);
    typed->addStretch(1);
    grid->addLayout(typed, row, 1);
    ++row;
    connect(m_rateTyped, &QRadioButton::toggled, this, [this] { updatePreview(); });
    connect(m_rate, &QLineEdit::textEdited, this, [this] {
      if (!m_rateTyped->isChecked()) m_rateTyped->setChecked(true);
      updatePreview();
    });
  }
  m_rateInfo = new QLabel(this);
  m_rateInfo->setObjectName(QStringLiteral("ImportRateInfo"));
  m_rateInfo->setWordWrap(true);
  grid->addWidget(m_rateInfo, row++, 0, 1, 2);
  auto* targetLabel = new QLabel(this);
  targetLabel->setObjectName(QStringLiteral("ImportTargetRateLabel"));
  m_targetRate = new QSpinBox(this);
  m_targetRate->setObjectName(QStringLiteral("ImportTargetRate"));
  // 0 keeps the file's own rate (the proposal); resampling to a lower whole rate is the user's choice.
  m_targetRate->setRange(0, 100000);
  m_targetRate->setSpecialValueText(word(int(W::kFileRate)));
  m_targetRate->setValue(std::max(0, m_options.rateHz));
  m_targetRate->setEnabled(m_options.rateEditable);
  grid->addWidget(targetLabel, row, 0);
  grid->addWidget(m_targetRate, row++, 1, Qt::AlignLeft);
  m_resampleInfo = new QLabel(this);
  m_resampleInfo->setObjectName(QStringLiteral("ImportResampleInfo"));
  m_resampleInfo->setWordWrap(true);
  grid->addWidget(m_resampleInfo, row++, 0, 1, 2);
  layout()->addWidget(box);

  connect(m_choice, &QComboBox::currentTextChanged, this, [this] { updatePreview(); });
  connect(m_choiceBF, &QComboBox::currentTextChanged, this, [this] { updatePreview(); });
  connect(m_targetRate, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
  connect(m_pair, &QCheckBox::toggled, this, [this](bool on) {
    m_choiceBFLabel->setEnabled(on);
    m_choiceBF->setEnabled(on);
    m_choiceLabel->setText(on ? word(int(W::kTemperature)) : word(m_options.target == ImportTarget::BloodFlow
                                                                      ? int(W::kBloodFlow)
                                                                      : int(W::kTemperature)));
    m_targetRate->setEnabled(m_options.rateEditable || on);
    if (on && m_options.target == ImportTarget::BloodFlow) {
      // The pair's first choice is T: the two boxes swap roles.
      const QString bf = m_choice->currentText();
      m_choice->setCurrentText(m_choiceBF->currentText());
      m_choiceBF->setCurrentText(bf);
    }
    if (on) keepPairChoicesApart();
    updatePreview();
  });
}

void ImportDialog::applyTexts() { ApplyLanguage(this, m_options.language); }

bool ImportDialog::pair() const { return m_pair && m_pair->isChecked(); }

int ImportDialog::targetRateHz() const { return m_targetRate->value(); }

QString ImportDialog::message() const { return m_message->text(); }

void ImportDialog::showMessage(const QString& text) { m_message->setText(text); }

DelimitedLayoutOverrides ImportDialog::overrides() const {
  DelimitedLayoutOverrides o;
  o.separator = kSeparators[std::clamp(m_separator->currentIndex(), 0, 3)];
  o.decimalMark = m_decimal->currentIndex() == 1 ? ',' : '.';
  o.headerLines = m_headerLines->value();
  const int time = m_timeColumn->currentData().toInt();
  o.timeColumn = ChannelRef{time, {}};
  return o;
}

void ImportDialog::detectLayout(bool fromControls) {
  DelimitedLayoutOverrides o;
  if (fromControls) {
    o = overrides();
    // A different separator or mark may change the columns: the time column is found again.
    if (QObject* changed = sender(); changed == m_separator || changed == m_decimal) o.timeColumn.reset();
    // A decimal comma cannot go with the comma separator: the separator gives way.
    if (*o.separator == ',' && *o.decimalMark == ',') {
      if (sender() == m_separator) {
        o.decimalMark.reset();
      } else {
        o.separator.reset();
      }
    }
  }
  const DelimitedLayoutDetection found = DetectDelimitedLayout(m_head, o, m_path.toStdString());
  m_layout = found.layout;
  m_preview = found.preview;
  showLayout();
  if (!found.ok()) {
    showMessage(RecordFileErrorText(*found.error, m_options.language));
    m_import->setEnabled(false);
    return;
  }
  updatePreview();
}

void ImportDialog::showLayout() {
  m_updating = true;
  QString preview;
  for (std::size_t i = 0; i < m_preview.size(); ++i) {
    preview += QStringLiteral("%1  ").arg(i + 1, 3) + QString::fromUtf8(m_preview[i].c_str()) + QLatin1Char('\n');
  }
  m_previewText->setPlainText(preview);
  const char* separator = std::find(std::begin(kSeparators), std::end(kSeparators), m_layout.separator);
  m_separator->setCurrentIndex(static_cast<int>(separator - kSeparators) % 4);
  m_decimal->setCurrentIndex(m_layout.decimalMark == ',' ? 1 : 0);
  m_headerLines->setValue(m_layout.headerLines);
  m_timeColumn->clear();
  m_timeColumn->addItem(word(int(W::kNoTimeColumn)), 0);
  std::vector<std::string> names;
  std::vector<int> numbers;
  m_columns->setRowCount(m_layout.columnCount);
  for (int c = 1; c <= m_layout.columnCount; ++c) {
    const std::string& name = m_layout.names[static_cast<std::size_t>(c - 1)];
    const std::string& unit = m_layout.units[static_cast<std::size_t>(c - 1)];
    QString shown = QString::number(c);
    if (!name.empty()) shown += QStringLiteral(": ") + QString::fromStdString(name);
    m_timeColumn->addItem(shown, c);
    SetRow(m_columns, c - 1, {QString::number(c), QString::fromStdString(name), QString::fromStdString(unit)});
    if (c == m_layout.timeColumn) {
      m_columns->item(c - 1, 0)->setText(QString::number(c) + QStringLiteral(" (t)"));
      continue;
    }
    names.push_back(name);
    numbers.push_back(c);
  }
  m_timeColumn->setCurrentIndex(std::max(0, m_timeColumn->findData(m_layout.timeColumn)));
  m_columns->resizeColumnsToContents();
  // Without a time column the samples take the page's rate, typed in the dialog.
  if (m_rateTyped && m_layout.timeColumn == 0 && !m_rate->text().isEmpty()) m_rateTyped->setChecked(true);
  m_updating = false;
  fillChoices(names, numbers);
}

void ImportDialog::fillChoices(const std::vector<std::string>& names, const std::vector<int>& numbers) {
  m_updating = true;
  const bool bfFirst = m_options.target == ImportTarget::BloodFlow && !pair();
  for (QComboBox* box : {m_choice, m_choiceBF}) {
    const QString before = box->currentText();
    box->clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      QString text = QString::number(numbers[i]);
      if (!names[i].empty()) text += QStringLiteral(": ") + QString::fromStdString(names[i]);
      box->addItem(text, numbers[i]);
    }
    const bool second = box == m_choiceBF;
    const ImportTarget guessFor = second ? ImportTarget::BloodFlow
                                  : pair() ? ImportTarget::Temperature
                                  : bfFirst ? ImportTarget::BloodFlow
                                            : m_options.target;
    const int index = box->findText(before);
    box->setCurrentIndex(index >= 0 ? index : GuessChoice(names, guessFor, second));
  }
  keepPairChoicesApart();
  m_updating = false;
}

void ImportDialog::keepPairChoicesApart() {
  if (m_choiceBF->count() < 2 || m_choiceBF->currentIndex() != m_choice->currentIndex()) return;
  const bool updating = m_updating;
  m_updating = true;
  m_choiceBF->setCurrentIndex(m_choice->currentIndex() == 0 ? 1 : 0);
  m_updating = updating;
}

ChannelRef ImportDialog::choiceRef(const QComboBox* box) const {
  const int index = box->currentIndex();
  if (index >= 0 && box->itemText(index) == box->currentText()) return ChannelRef{box->itemData(index).toInt(), {}};
  return ChannelRef::Parse(box->currentText().toStdString());
}

std::optional<double> ImportDialog::typedRate() const {
  if (!m_rateTyped || !m_rateTyped->isChecked()) return std::nullopt;
  bool ok = false;
  const double rate = ParseDecimal(m_rate->text(), &ok);
  if (!ok || !(rate > 0.0)) return 0.0;
  return rate;
}

void ImportDialog::updatePreview() {
  if (m_updating) return;
  showMessage(QString());
  m_previewRateHz = 0.0;
  m_rateInfo->clear();
  m_resampleInfo->clear();
  const Language language = m_options.language;
  std::vector<ChannelRef> refs = {choiceRef(m_choice)};
  if (pair()) refs.push_back(choiceRef(m_choiceBF));

  std::vector<double> rates;  // the source rate of each chosen channel
  if (m_block) {
    QStringList shown;
    for (const QComboBox* box : {m_choice, m_choiceBF}) {
      if (box == m_choiceBF && !pair()) continue;
      const FileChannel* signal = chosenSignal(box);
      if (!signal) {
        RecordFileError error;
        error.kind = RecordFileErrorKind::kNoSuchChannel;
        error.text = box->currentText().toStdString();
        error.count = static_cast<long long>(m_fileLayout.channels.size());
        showMessage(RecordFileErrorText(error, language));
        m_import->setEnabled(false);
        return;
      }
      const double rate = blockRate(*signal);
      if (!(rate > 0.0) || (signal->sampleRateHz <= 0 && rate != std::floor(rate))) {
        showMessage(ImportText(m_rate && !m_rate->text().isEmpty() ? W::kBadRate : W::kNoFileRate, language));
        m_import->setEnabled(false);
        return;
      }
      rates.push_back(rate);
      shown << ImportText(W::kRateOfChannel, language).arg(FormatDecimal(rate, 6));
    }
    shown.removeDuplicates();
    m_rateInfo->setText(shown.join(QStringLiteral("; ")));
  } else if (m_edf) {
    QStringList shown;
    for (const ChannelRef& ref : refs) {
      int number = 0;
      if (auto error = FindEdfChannel(m_edfInfo, ref, number)) {
        error->path.clear();
        showMessage(RecordFileErrorText(*error, language));
        m_import->setEnabled(false);
        return;
      }
      rates.push_back(m_edfInfo.channels[static_cast<std::size_t>(number - 1)].sampleRateHz);
      shown << ImportText(W::kRateOfChannel, language).arg(FormatDecimal(rates.back(), 6));
    }
    m_rateInfo->setText(shown.join(QStringLiteral("; ")));
  } else {
    // The rate from the rows of the file's beginning (the whole file is read by the import).
    std::string_view head = m_head;
    if (QFileInfo(m_path).size() > static_cast<qint64>(m_head.size())) {
      const std::size_t end = head.find_last_of("\r\n");
      head = head.substr(0, end == std::string_view::npos ? 0 : end + 1);
    }
    DelimitedReadOptions read;
    read.layout = overrides();
    read.columns = refs;
    if (const std::optional<double> typed = typedRate()) {
      if (*typed <= 0.0) {
        showMessage(ImportText(W::kBadRate, language));
        m_import->setEnabled(false);
        return;
      }
      read.sampleRateHz = *typed;
    }
    const DelimitedReadResult result = ReadDelimitedText(head, read, m_path.toStdString());
    if (!result.ok()) {
      showMessage(RecordFileErrorText(*result.error, language));
      m_import->setEnabled(false);
      return;
    }
    rates.push_back(result.sampleRateHz);
    if (result.rateFromTimeColumn) {
      m_rateInfo->setText(ImportText(W::kRateMeasured, language)
                              .arg(FormatDecimal(result.sampleRateHz, 6))
                              .arg(result.rows));
    }
  }
  m_previewRateHz = rates.front();
  const int target = targetRateHz();
  QStringList resampling;
  for (const double rate : rates) {
    if (target == 0) {
      resampling << ImportText(W::kNotResampled, language).arg(FormatDecimal(rate, 6));
    } else if (const std::optional<long long> ratio = WholeRatio(rate, target)) {
      resampling << (*ratio == 1 ? ImportText(W::kNotResampled, language).arg(target)
                                 : ImportText(W::kResampled, language)
                                       .arg(*ratio)
                                       .arg(FormatDecimal(rate, 6))
                                       .arg(target));
    } else {
      RecordFileError error;
      error.kind = RecordFileErrorKind::kRatioNotWhole;
      error.fromRateHz = rate;
      error.toRateHz = target;
      showMessage(RecordFileErrorText(error, language));
      m_import->setEnabled(false);
      return;
    }
  }
  resampling.removeDuplicates();
  m_resampleInfo->setText(resampling.join(QStringLiteral("; ")));
  m_import->setEnabled(true);
}

void ImportDialog::showEdfInfo(const EdfFileInfo& info) {
  m_edfInfo = info;
  m_channels->setRowCount(static_cast<int>(m_edfInfo.channels.size()));
  std::vector<std::string> names;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < m_edfInfo.channels.size(); ++i) {
    const EdfChannelInfo& c = m_edfInfo.channels[i];
    SetRow(m_channels, static_cast<int>(i),
           {QString::number(i + 1), QString::fromStdString(c.label), QString::fromStdString(c.unit),
            FormatDecimal(c.sampleRateHz, 6), QString::number(c.sampleCount)});
    names.push_back(c.label);
    numbers.push_back(static_cast<int>(i) + 1);
  }
  m_channels->resizeColumnsToContents();
  m_annotations->setRowCount(static_cast<int>(m_edfInfo.annotations.size()));
  for (std::size_t i = 0; i < m_edfInfo.annotations.size(); ++i) {
    const EdfAnnotation& a = m_edfInfo.annotations[i];
    SetRow(m_annotations, static_cast<int>(i),
           {FormatDecimal(a.onsetS, 8), a.durationS < 0 ? QStringLiteral("-") : FormatDecimal(a.durationS, 8),
            QString::fromUtf8(a.text.c_str())});
  }
  m_annotations->resizeColumnsToContents();
  fillChoices(names, numbers);
  updatePreview();
}

bool ImportDialog::importNow() {
  m_records.clear();
  updatePreview();
  if (!m_import->isEnabled()) return false;
  const Language language = m_options.language;
  const std::string path = m_path.toStdString();
  std::vector<ChannelRef> refs = {choiceRef(m_choice)};
  if (pair()) refs.push_back(choiceRef(m_choiceBF));
  const int target = targetRateHz();
  const std::optional<int> resampleTo = target > 0 ? std::optional<int>(target) : std::nullopt;
  const bool ppg = m_options.target == ImportTarget::Ppg;

  if (m_block) {
    // One way in: each record as ReadRecordFile reads it, with the chosen variable, channel and block.
    std::vector<ImportedRecord> made;
    for (std::size_t i = 0; i < refs.size(); ++i) {
      const QComboBox* box = i == 1 ? m_choiceBF : m_choice;
      const FileChannel* signal = chosenSignal(box);
      RecordReadOptions read;
      // A plain MATLAB file's signal is the row or column `number` of its variable; an export's, its channel.
      if (!signal->variable.empty()) read.variable = signal->variable;
      read.channel = ChannelRef{signal->number, {}};
      if (m_blockChoice && m_blockChoice->count() > 1) {
        const int block = m_blockChoice->currentData().toInt();
        if (block == 0) read.joinBlocks = true;
        else read.block = block;
      }
      if (signal->sampleRateHz <= 0) read.defaultRateHz = static_cast<int>(blockRate(*signal));
      read.resampleToHz = resampleTo;
      const ImportTarget target = i == 1 ? ImportTarget::BloodFlow : pair() ? ImportTarget::Temperature : m_options.target;
      read.temperature = target == ImportTarget::Temperature;
      read.maxSamples = ppg ? kMaxPpgSamples : m_options.maxSamples;
      RecordFileResult result;
      RunOffThread([&] { result = ReadRecordFile(path, read); });
      if (!result.ok()) {
        showMessage(RecordFileErrorText(*result.error, language));
        return false;
      }
      ImportedRecord record;
      record.target = target;
      record.source = m_path + QStringLiteral(": ") + QString::fromStdString(result.name.empty() ? signal->name : result.name);
      record.unit = result.unit;
      record.rateHz = result.sampleRateHz;
      record.truncated = result.truncated;
      record.markers = std::move(result.markers);
      record.record = std::move(result.record);
      made.push_back(std::move(record));
    }
    m_records = std::move(made);
    return true;
  }

  std::vector<ImportedChannel> channels;
  std::optional<RecordFileError> error;
  if (m_edf) {
    EdfReadOptions read;
    for (const ChannelRef& ref : refs) {
      int number = 0;
      FindEdfChannel(m_edfInfo, ref, number);
      read.channels.push_back(ChannelRef{number, {}});
    }
    // Enough samples of the fastest channel for a whole record (a PPG at its own rate: the PPG page's limit).
    double fastest = 0.0;
    for (const ChannelRef& ref : read.channels) {
      fastest = std::max(fastest, m_edfInfo.channels[static_cast<std::size_t>(ref.number - 1)].sampleRateHz);
    }
    read.maxSamples = InputSamplesNeeded(fastest, resampleTo, m_options.maxSamples);
    if (ppg) read.maxSamples = resampleTo ? -1 : kMaxPpgSamples;
    RunOffThread([&] {
      EdfReadResult result = ReadEdfFile(path, read);
      channels = std::move(result.channels);
      error = result.error;
    });
  } else {
    DelimitedReadOptions read;
    read.layout = overrides();
    read.columns = refs;
    read.sampleRateHz = typedRate();
    RunOffThread([&] {
      DelimitedReadResult result = ReadDelimitedFile(path, read);
      channels = std::move(result.channels);
      error = result.error;
    });
  }
  if (error) {
    showMessage(RecordFileErrorText(*error, language));
    return false;
  }

  std::vector<ImportedRecord> made;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const ImportedChannel& channel = channels[i];
    ImportedRecord record;
    record.target = i == 1 ? ImportTarget::BloodFlow : pair() ? ImportTarget::Temperature : m_options.target;
    const QComboBox* box = i == 1 ? m_choiceBF : m_choice;
    record.source = m_path + QStringLiteral(": ") +
                    (channel.name.empty() ? box->currentText() : QString::fromStdString(channel.name));
    record.unit = channel.unit;
    if (ppg) {
      // A photoplethysmogram keeps its own rate and up to the PPG page's limit of samples.
      std::vector<double> values = channel.values;
      record.rateHz = channel.sampleRateHz;
      if (resampleTo) {
        BlockResampleResult resampled =
            ResampleByBlockMeans(values, channel.sampleRateHz, *resampleTo, static_cast<std::size_t>(kMaxPpgSamples));
        if (!resampled.ok()) {
          showMessage(RecordFileErrorText(*resampled.error, language));
          return false;
        }
        values = std::move(resampled.values);
        record.rateHz = *resampleTo;
      }
      if (values.empty()) {
        RecordFileError none;
        none.kind = RecordFileErrorKind::kNoSamples;
        none.path = path;
        showMessage(RecordFileErrorText(none, language));
        return false;
      }
      record.truncated = channel.truncated;
      record.record.values = std::move(values);
      record.record.lastIndex = static_cast<int>(record.record.values.size()) - 1;
    } else {
      RecordImportOptions options;
      options.resampleToHz = resampleTo;
      options.temperature = record.target == ImportTarget::Temperature;
      options.maxSamples = m_options.maxSamples;
      RecordImportResult result = MakeImportedRecord(channel, options);
      if (!result.ok()) {
        result.error->path = path;
        showMessage(RecordFileErrorText(*result.error, language));
        return false;
      }
      record.record = std::move(result.record);
      record.rateHz = result.sampleRateHz;
      record.truncated = result.truncated;
    }
    made.push_back(std::move(record));
  }
  m_records = std::move(made);
  return true;
}

}  // namespace kelvora
