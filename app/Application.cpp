#include "app/Application.h"

#include <QThread>
#include <exception>

#include "dialogs/Modal.h"
#include "platform/MessageBox.h"

namespace app {

BrenvoApplication::BrenvoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kApplicationTitle);
    // The program ends when it asks to, not when its last visible window goes: the OEM
    // variant hides the main window, and start-up shows its messages before any window.
    setQuitOnLastWindowClosed(false);
}

bool BrenvoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportException(QString::fromStdString(e.what()));
    } catch (...) {
        ReportException(QString());
    }
    return false;
}

QString ExceptionReportText(const QString& what) {
    QString text = what.trimmed();
    if (text.isEmpty()) return "An unexpected error occurred.";
    if (!text.endsWith('.') && !text.endsWith('!') && !text.endsWith('?')) text += '.';
    return text;
}

void ReportException(const QString& what) {
    ui::Modal::Message(nullptr, ui::MessageKind::Error, kApplicationTitle,
                       ExceptionReportText(what));
}

namespace {

ui::MessageKind KindOf(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Warning:
            return ui::MessageKind::Warning;
        case platform::MessageIcon::Information:
            return ui::MessageKind::Information;
        case platform::MessageIcon::Question:
            return ui::MessageKind::Confirmation;
        case platform::MessageIcon::Error:
            break;
    }
    return ui::MessageKind::Error;
}

void Show(const platform::MessageBoxRequest& request) {
    ui::Modal::Message(nullptr, KindOf(request.icon), QString::fromStdString(request.caption),
                       QString::fromStdString(request.text));
}

}  // namespace

void InstallMessageBoxHandler() {
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application || QThread::currentThread() == application->thread()) {
            Show(request);
            return;
        }
        // A box is modal: the asking thread waits until it has been answered.
        QMetaObject::invokeMethod(
            application, [request] { Show(request); }, Qt::BlockingQueuedConnection);
    });
}

}  // namespace app
