#pragma once
// The program's QApplication: no exception may cross Qt's event loop, so every event
// handler's exception is reported and the loop goes on.

#include <QApplication>

class TZELApplication : public QApplication {
  Q_OBJECT
public:
  TZELApplication(int& argc, char** argv);
  bool notify(QObject* AReceiver, QEvent* AEvent) override;
};
