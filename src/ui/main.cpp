#include <QApplication>

#include "application_title.h"
#include "upr_zagig.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The task bar shows the program's own title; the window's title bar shows its caption.
    QApplication::setApplicationName(darvelon::ui::applicationTitle());
    darvelon::ui::TfrmUprZagig frmUprZagig;
    frmUprZagig.show();
    return app.exec();
}
