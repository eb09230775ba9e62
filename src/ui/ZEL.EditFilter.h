#pragma once
// Holds what a user adds to an edit (typed, pasted, dropped, composed) to the rule of its key
// filter, so that a paste cannot get round it. Text the program sets (a name proposed from a
// record) stays as it is, and so do its characters while the user edits around them.

#include <QObject>
#include <QString>

class QLineEdit;

namespace ZEL {

class TEditFilter : public QObject {
  Q_OBJECT
public:
  // AMaxLength > 0: an edit that would make the text longer is refused (the edit's own limit
  // is wider, so that a pasted "123 456" loses its blank before it is measured).
  TEditFilter(QLineEdit* AEdit, bool (*AAllowed)(QChar), int AMaxLength);

  // The text after a user's edit from AOld to ANew: the added part without the characters
  // that are not allowed, or AOld when the result would be too long; ACursor gets the
  // position after the added part.
  static QString Filtered(const QString& AOld, const QString& ANew, bool (*AAllowed)(QChar), int AMaxLength,
                          int& ACursor);

private:
  void Edited(const QString& AText);

  QLineEdit* FEdit;
  bool (*FAllowed)(QChar);
  int FMaxLength;
  QString FLast;  // the text before the edit that is being reported
};

}  // namespace ZEL
