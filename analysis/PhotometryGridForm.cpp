#include "analysis/PhotometryGridForm.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/TextReport.h"
#include "app/Accessibility.h"
#include "app/FormSupport.h"
#include "app/ToolWindows.h"
#include "engine/photometry.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"

TfrmPhotometryGrid* frmPhotometryGrid = nullptr;

namespace {
const char* const Titles[TfrmPhotometryGrid::ColCount] = {"Aperture #", "Magnitude",  "Mag. Difference", "Star ADU",
                                                          "Sky ADU",    "Centroid X", "Centroid Y",      "Image"};
const char* const TextHeadings[TfrmPhotometryGrid::ColCount] = {"Aperture", "Magnitude",  "Mag. Diff.", "Star ADU",
                                                                "Sky ADU",  "Centroid X", "Centroid Y", "Image"};

QString Number(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

QString Padded(const QString& Text) { return PadRight(Text, 15); }

// A field with a comma, a quote or a line break is quoted, its quotes doubled,
// so that a caption such as "M13, 60s" stays one field.
QByteArray CSVField(const QString& Text) {
  QByteArray f = Text.toUtf8();
  if (!f.contains(',') && !f.contains('"') && !f.contains('\r') && !f.contains('\n')) return f;
  return '"' + f.replace('"', "\"\"") + '"';
}

TReportLines AsReport(const QStringList& Lines) {
  return [Lines](TReportWriter& W) {
    for (const QString& line : Lines) W.WriteLine(line);
  };
}
}  // namespace

TfrmPhotometryGrid::TfrmPhotometryGrid(QWidget* Parent)
    : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      SaveDialog(std::make_unique<TFileDialog>(TFileDialog::TKind::Save)) {
  setObjectName(QStringLiteral("frmPhotometryGrid"));
  KeyboardOrder::Install(this);
  ToolWindows::Install(this);
  Accessibility::ExposeWindow(this);
  setWindowTitle(QStringLiteral("Photometry Results"));
  setAccessibleName(QStringLiteral("Photometry Results"));

  MainMenu = new QMenuBar(this);
  MainMenu->setObjectName(QStringLiteral("MainMenu"));
  MainMenu->setNativeMenuBar(false);
  MainMenu->setAccessibleName(QStringLiteral("Photometry results menu"));
  QMenu* file = MainMenu->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  SaveAs1 = file->addAction(QStringLiteral("&Save As..."));
  SaveAs1->setObjectName(QStringLiteral("SaveAs1"));
  SaveAs1->setStatusTip(QStringLiteral("Save the photometry data"));
  SaveAs1->setToolTip(QStringLiteral("Save"));
  file->addSeparator();
  Print1 = file->addAction(QStringLiteral("&Print..."));
  Print1->setObjectName(QStringLiteral("Print1"));
  Print1->setStatusTip(QStringLiteral("Print the photometry results"));
  Print1->setToolTip(QStringLiteral("Print"));
  QMenu* edit = MainMenu->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("Edit1"));
  Clearresults1 = edit->addAction(QStringLiteral("&Clear Results"));
  Clearresults1->setObjectName(QStringLiteral("Clearresults1"));

  Grid = new QTableWidget(InitialRowCount, ColCount, this);
  Grid->setObjectName(QStringLiteral("Grid"));
  Grid->setAccessibleName(QStringLiteral("Photometry results"));
  Grid->verticalHeader()->hide();
  Grid->horizontalHeader()->setDefaultSectionSize(90);
  Grid->verticalHeader()->setMinimumSectionSize(16);
  Grid->verticalHeader()->setDefaultSectionSize(18);
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int c = 0; c < ColCount; ++c) SetCell(0, c, QString());
  for (int r = 1; r < InitialRowCount; ++r) SetCell(r, 0, QString());
  // Row 0 keeps the titles for the files; on screen they head the columns,
  // in view however far the results scroll.
  Grid->setRowHidden(0, true);
  QStringList titles;
  for (const char* t : Titles) titles << QString::fromLatin1(t);
  Grid->setHorizontalHeaderLabels(titles);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(MainMenu);
  layout->addWidget(Grid);

  SaveDialog->Filter = QStringLiteral("CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
  SaveDialog->OverwritePrompt = true;

  connect(SaveAs1, &QAction::triggered, this, [this] { SaveAs1Click(); });
  connect(Print1, &QAction::triggered, this, [this] { Print1Click(); });
  connect(Clearresults1, &QAction::triggered, this, [this] { Clearresults1Click(); });
  FormShow();
  // Each column wide enough for its title in this font.
  const QFontMetrics metrics(Grid->font());
  for (int c = 0; c < ColCount; ++c)
    Grid->setColumnWidth(c, std::max(90, metrics.horizontalAdvance(QString::fromLatin1(Titles[c])) + 12));
  resize(Grid->horizontalHeader()->length() + 24, 260);
}

TfrmPhotometryGrid::~TfrmPhotometryGrid() = default;

void TfrmPhotometryGrid::SetCell(int Row, int Col, const QString& Text) {
  QTableWidgetItem* item = Grid->item(Row, Col);
  if (!item) {
    item = new QTableWidgetItem;
    // The title row and the aperture column look like fixed cells.
    if (Row == 0 || Col == 0) {
      item->setBackground(palette().button());
      item->setForeground(palette().buttonText());
    }
    Grid->setItem(Row, Col, item);
  }
  item->setText(Text);
}

QString TfrmPhotometryGrid::Cell(int Row, int Col) const {
  const QTableWidgetItem* item = Grid->item(Row, Col);
  return item ? item->text() : QString();
}

void TfrmPhotometryGrid::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  FormShow();
}

void TfrmPhotometryGrid::FormShow() {
  for (int c = 0; c < ColCount; ++c) SetCell(0, c, QString::fromLatin1(Titles[c]));
}

void TfrmPhotometryGrid::AddResult(const QString& ImageName, int ApertureNo, double Magnitude, float X, float Y,
                                   double RefMagnitude, double StarADU, double SkyADU) {
  // A full grid takes one more row rather than dropping the result.
  if (FNextRow >= Grid->rowCount()) {
    Grid->setRowCount(FNextRow + 1);
    SetCell(FNextRow, 0, QString());
  }
  const int r = FNextRow;
  SetCell(r, 0, QString::number(ApertureNo));
  if (Magnitude != FailedMeasure) {
    SetCell(r, 1, Number(Magnitude));
    SetCell(r, 2, Number((long double)Magnitude - RefMagnitude));
  } else {
    SetCell(r, 1, QStringLiteral("#Error#"));
    SetCell(r, 2, QStringLiteral("#Error#"));
  }
  SetCell(r, 3, Number(StarADU));
  SetCell(r, 4, Number(SkyADU));
  SetCell(r, 5, Number(X));
  SetCell(r, 6, Number(Y));
  SetCell(r, 7, ImageName);
  ++FNextRow;
}

QByteArray TfrmPhotometryGrid::CSVText() const {
  QByteArray out;
  for (int r = 0; r < Grid->rowCount(); ++r) {
    bool written = false;
    for (int c = 0; c < ColCount; ++c) {
      const QString cell = Cell(r, c);
      if (cell.isEmpty()) break;
      out += CSVField(cell);
      if (c < ColCount - 1) out += ',';
      written = true;
    }
    // A row cut short by an empty cell still ends its line.
    if (written) out += '\r';
  }
  return out;
}

QStringList TfrmPhotometryGrid::ReportLines() const {
  QStringList lines;
  lines << QString();
  lines << QStringLiteral("Corvelle Image Photometry Results - ") + ReportDate();
  lines << QString() << QString();
  QString header;
  for (const char* h : TextHeadings) header += Padded(QString::fromLatin1(h));
  lines << header;
  lines << QString(113, QLatin1Char('-'));
  for (int r = 1; r < FNextRow; ++r) {
    QString line;
    for (int c = 0; c < ColCount; ++c) line += Padded(Cell(r, c));
    lines << line;
  }
  return lines;
}

bool TfrmPhotometryGrid::SaveToFile(const QString& FileName) {
  const QString ext = QFileInfo(FileName).suffix().toUpper();
  const QString failed = QStringLiteral("The photometry results could not be saved to \"%1\".").arg(FileName);
  const bool text = ext == QLatin1String("TXT");
  if (!text && ext != QLatin1String("CSV")) {
    MessageBox::ShowWarning(QStringLiteral("The photometry results were not saved.  Give the file name the extension "
                                           "\".csv\" or \".txt\"."),
                            this);
    return false;
  }
  try {
    if (text)
      SaveTextReport(FileName, AsReport(ReportLines()));
    else
      SaveFileData(FileName, CSVText());
  } catch (const EReportError& e) {
    MessageBox::ShowWarning(TextWithReason(failed, e), this);
    return false;
  }
  return true;
}

void TfrmPhotometryGrid::SaveAs1Click() {
  if (!SaveDialog->Execute(this)) return;
  SaveToFile(SaveDialog->FileName);
}

void TfrmPhotometryGrid::Print1Click() {
  try {
    PrintTextReportWithDialog(this, AsReport(ReportLines()));
  } catch (const EReportError& e) {
    MessageBox::ShowError(QString::fromStdString(e.what()), this);
  }
}

void TfrmPhotometryGrid::Clearresults1Click() {
  if (MessageBox::MessageDlg(QStringLiteral("Are you sure you want to clear the photometry results?"),
                             TMsgDlgType::mtConfirmation, mbYesNo, this) != mrYes)
    return;
  for (int r = 1; r <= FNextRow && r < Grid->rowCount(); ++r)
    for (int c = 0; c < ColCount; ++c) SetCell(r, c, QString());
  FNextRow = 1;
}
