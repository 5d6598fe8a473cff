#include "app/PrintForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/Child.h"
#include "app/FileManager.h"
#include "app/IntEdit.h"
#include "app/Main.h"

TfrmPrint* frmPrint = nullptr;

QRect PrintPlacement(int PageW, int PageH, int BitmapW, int BitmapH, int ScaleItem, bool VCentre, bool HCentre) {
  if (BitmapW <= 0 || BitmapH <= 0) return {};
  // A printable area within the 250-pixel margins would give a negative fit:
  // such a page is used whole.
  auto room = [](int Page) { return (long double)(Page > 250 ? Page - 250 : Page); };
  const long double fit = std::min(room(PageW) / BitmapW, room(PageH) / BitmapH);
  long double scale = 1.0L;
  switch (ScaleItem) {
    case 1: scale = fit; break;
    case 2: scale = fit / 8; break;
    case 3: scale = fit / 4; break;
    case 4: scale = fit / 2; break;
    default: break;
  }
  const int pw = int(std::nearbyint((long double)BitmapW * scale));
  const int ph = int(std::nearbyint((long double)BitmapH * scale));
  int left = 50, top = 50;
  if (VCentre) top = (PageH - ph) / 2;
  if (HCentre) left = (PageW - pw) / 2;
  return QRect(left, top, pw, ph);
}

QString PrintTitle(const QString& Code, const QString& Caption, const QDateTime& When) {
  const QLocale locale;
  const QString date = locale.toString(When.date(), QLocale::ShortFormat);
  const QString time = locale.toString(When.time(), QLocale::ShortFormat);
  auto is = [&Code](const char* lower) {
    return Code == QLatin1String(lower) || Code == QString::fromLatin1(lower).toUpper();
  };
  if (is("&f")) return Caption;
  if (is("&f&t")) return Caption + QLatin1Char(' ') + time;
  if (is("&f&d")) return Caption + QLatin1Char(' ') + date;
  if (is("&f&d&t")) return Caption + QLatin1Char(' ') + date + QLatin1Char(' ') + time;
  if (is("&f&t&d")) return Caption + QLatin1Char(' ') + time + QLatin1Char(' ') + date;
  return QString();
}

TfrmPrint::TfrmPrint(QWidget* Parent) : TForm(Parent), FPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setObjectName(QStringLiteral("frmPrint"));
  setWindowTitle(QStringLiteral("Print"));
  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* grid = new QGridLayout(settings);
  lblPrinter = new QLabel(QStringLiteral("None Selected"), settings);
  lblPrinter->setObjectName(QStringLiteral("lblPrinter"));
  iedCopies = new TIntEdit(settings);
  iedCopies->setObjectName(QStringLiteral("iedCopies"));
  iedCopies->SetMinValue(1);
  iedCopies->SetMaxValue(255);
  iedCopies->SetValue(1);
  chkVCentre = new QCheckBox(QStringLiteral("Centre image &vertically"), settings);
  chkHCentre = new QCheckBox(QStringLiteral("Centre image &horizontally"), settings);
  edtTitle = new QLineEdit(QStringLiteral("&f"), settings);
  edtTitle->setObjectName(QStringLiteral("edtTitle"));
  cmbScale = new QComboBox(settings);
  cmbScale->setObjectName(QStringLiteral("cmbScale"));
  cmbScale->addItems({QStringLiteral("Actual Size"), QStringLiteral("To Page"), QStringLiteral("1/8 Page"),
                      QStringLiteral("1/4 Page"), QStringLiteral("1/2 Page")});
  // The printer's name is what the label says.
  lblPrinter->setAccessibleDescription(QStringLiteral("Printer"));
  chkVCentre->setAccessibleName(QStringLiteral("Centre image vertically"));
  chkHCentre->setAccessibleName(QStringLiteral("Centre image horizontally"));
  // A caption tied to its box; the box speaks the caption.
  auto caption = [settings](const QString& Text, QWidget* Box) {
    auto* label = new QLabel(Text, settings);
    label->setBuddy(Box);
    Box->setAccessibleName(QString(Text).remove(QLatin1Char('&')));
    return label;
  };
  grid->addWidget(new QLabel(QStringLiteral("Printer"), settings), 0, 0);
  grid->addWidget(lblPrinter, 0, 1);
  grid->addWidget(caption(QStringLiteral("&Copies"), iedCopies), 1, 0);
  grid->addWidget(iedCopies, 1, 1);
  grid->addWidget(chkVCentre, 2, 0, 1, 2);
  grid->addWidget(chkHCentre, 3, 0, 1, 2);
  grid->addWidget(caption(QStringLiteral("&Title"), edtTitle), 4, 0);
  grid->addWidget(edtTitle, 4, 1);
  grid->addWidget(caption(QStringLiteral("&Scale"), cmbScale), 5, 0);
  grid->addWidget(cmbScale, 5, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings);
  QHBoxLayout* buttons = MakeButtons();
  btnPrinter = new QPushButton(QStringLiteral("&Printer..."), this);
  buttons->addWidget(btnPrinter);
  layout->addLayout(buttons);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnPrinter, &QPushButton::clicked, this, [this] { btnPrinterClick(); });
}

TfrmPrint::~TfrmPrint() = default;

void TfrmPrint::Execute() {
  const QString name = FPrinter->printerName();
  lblPrinter->setText(name.isEmpty() ? QStringLiteral("None Selected") : name);
  cmbScale->setCurrentIndex(0);
  ShowModal();
}

void TfrmPrint::btnPrinterClick() {
  QPrintDialog dialog(FPrinter.get(), this);
  if (dialog.exec() == QDialog::Accepted) lblPrinter->setText(FPrinter->printerName());
}

void TfrmPrint::btnOKClick() {
  if (MainForm) PrintWindow(MainForm->ActiveMDIChild());
  SetModalResult(mrOk);
}

bool TfrmPrint::PrintWindow(TChildForm* Window) {
  if (!Window) return false;
  const QImage picture = RenderedPictureAt100(Window);
  if (picture.isNull()) return false;
  QPrinter& printer = *FPrinter;
  printer.setCopyCount(iedCopies->ConstrainedValue());
  printer.setDocName(Window->Caption());
  const int pageW = printer.width(), pageH = printer.height();
  const QRect place = PrintPlacement(pageW, pageH, picture.width(), picture.height(), cmbScale->currentIndex(),
                                     chkVCentre->isChecked(), chkHCentre->isChecked());
  const QString title = PrintTitle(edtTitle->text(), Window->Caption(), QDateTime::currentDateTime());
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  painter.drawImage(place, picture.convertToFormat(QImage::Format_RGB888));
  if (!title.isEmpty()) {
    QFont font(QStringLiteral("Arial"), 10);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(painter.font(), &printer);
    const int x = (pageW - metrics.horizontalAdvance(title)) / 2;
    painter.drawText(x, 50 + metrics.ascent(), title);
  }
  painter.end();
  return true;
}
