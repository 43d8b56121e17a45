// The application object of brenvo: its title, the report of an error nobody caught, and the
// core's message boxes shown as the windows show theirs.
#pragma once

#include <QApplication>
#include <QString>

namespace app {

inline constexpr char kApplicationTitle[] = "Brenvo";

class BrenvoApplication : public QApplication {
  public:
    BrenvoApplication(int& argc, char** argv);
    // An exception thrown by an event handler is reported and the loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The text of the error report: the error's own words ending in a full stop, or a plain
// sentence for an error without words.
QString ExceptionReportText(const QString& what);
// Shows the error report: an error box with the application's title.
void ReportException(const QString& what);

// Routes the core's message boxes (platform::ShowMessageBox) through ui::Modal, on the
// user-interface thread whichever thread asks.
void InstallMessageBoxHandler();

}  // namespace app
