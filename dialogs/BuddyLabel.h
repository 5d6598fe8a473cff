#pragma once
// A label tied to its control: the label's "&" key moves the focus there, and
// the control carries the label's text as its accessible name.
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <QWidget>

inline QLabel* BuddyLabel(const QString& Caption, QWidget* Control, QWidget* Parent) {
  auto* label = new QLabel(Caption, Parent);
  label->setBuddy(Control);
  QString spoken = Caption;
  spoken.remove(QLatin1Char('&'));
  if (Control->accessibleName().isEmpty()) Control->setAccessibleName(spoken);
  return label;
}

// A label on or off with its control. Off, its key leads nowhere, so it shows
// none: its caption loses the "&" until it is on again.
inline void SetLabelEnabled(QLabel* Label, bool Enabled) {
  static const char* const Caption = "captionWithKey";
  if (!Label->property(Caption).isValid()) Label->setProperty(Caption, Label->text());
  const QString text = Label->property(Caption).toString();
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    // "&&" stands for one "&" either way.
    if (!Enabled && text[i] == QLatin1Char('&') && (i + 1 >= text.size() || text[i + 1] != QLatin1Char('&'))) continue;
    shown += text[i];
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) shown += text[++i];
  }
  Label->setText(shown);
  Label->setEnabled(Enabled);
}

// The accessible name of a control, from its caption without the "&".
inline void SpeakAs(QWidget* Control, QString Caption) {
  Caption.remove(QLatin1Char('&'));
  Control->setAccessibleName(Caption);
}

// A group's "&" key leads to Control, whichever control of the group had the
// focus last (a group on its own goes back to that one).
inline void GroupKeyLeadsTo(QGroupBox* Group, QWidget* Control) {
  class TLead : public QObject {
   public:
    TLead(QGroupBox* Group, QWidget* Control) : QObject(Group), FControl(Control) { Group->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* Event) override {
      if (Event->type() != QEvent::Shortcut || !FControl->isEnabled()) return false;
      FControl->setFocus(Qt::ShortcutFocusReason);
      return true;
    }

   private:
    QWidget* FControl;
  };
  new TLead(Group, Control);
}
