#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include "application_title.h"
#include "message_boxes.h"
#include "upr_zagig.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The task bar shows the program's own title; the window's title bar shows its caption.
    QApplication::setApplicationName(darvelon::ui::applicationTitle());
    // Qt's own dialogs and buttons speak the window's language, whatever the desktop's is.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    darvelon::ui::TfrmUprZagig frmUprZagig;
    frmUprZagig.show();
    // A log named on the command line (a double click in a file manager) is replayed once the
    // window is up, so that an error box has a window to stand on.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString log = arguments.at(1);
        QTimer::singleShot(0, &frmUprZagig, [&frmUprZagig, log] {
            darvelon::ui::runHandler(&frmUprZagig, [&frmUprZagig, log] { frmUprZagig.replayLog(log); });
        });
    }
    return app.exec();
}
