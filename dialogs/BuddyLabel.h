#pragma once
// A label tied to its control: the label's "&" key moves the focus there, and
// the control carries the label's text as its accessible name.
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

// The accessible name of a control, from its caption without the "&".
inline void SpeakAs(QWidget* Control, QString Caption) {
  Caption.remove(QLatin1Char('&'));
  Control->setAccessibleName(Caption);
}
