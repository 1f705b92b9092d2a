#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QValueAxis>
#include <filesystem>

#include "support/gui_test_support.h"
#include "ui/application_title.h"
#include "ui/measurement_chart.h"
#include "ui/message_boxes.h"
#include "ui/up_down.h"
#include "ui/upr_zagig.h"

using namespace darvelon::ui;
using darvelon::test::captureModals;
using darvelon::test::ScriptedDialogs;

TEST(ApplicationTitle, CutAtTheFirstDotWithTheRestLowerCase) {
    EXPECT_EQ(applicationTitleFromPath("C:\\Tools\\DARVELON.EXE"), "Darvelon");
    EXPECT_EQ(applicationTitleFromPath("/usr/bin/darvelon"), "darvelon");
    EXPECT_EQ(applicationTitleFromPath("/opt/x.y/Darvelon.Test.exe"), "Darvelon");
    EXPECT_EQ(applicationTitleFromPath("/opt/ПРОГРАММА"), "Программа");
    EXPECT_EQ(applicationTitleFromPath("/opt/.hidden"), "");
}

TEST(ErrorBox, FullStopOnlyAfterCharactersAboveTheFullStop) {
    EXPECT_EQ(withFullStop("Error opening port COM3"), "Error opening port COM3.");
    EXPECT_EQ(withFullStop("Done."), "Done.");
    EXPECT_EQ(withFullStop(""), "");
    for (char16_t c = 0; c <= u'.'; ++c) {
        const QString s = QString("x") + QChar(c);
        EXPECT_EQ(withFullStop(s), s) << int(c);
    }
    EXPECT_EQ(withFullStop("x/"), "x/.");
    EXPECT_EQ(withFullStop("Ошибка"), "Ошибка.");
}

TEST(ErrorBox, ShowsTheMessageWithTheErrorIconUnderTheApplicationTitle) {
    const auto seen = captureModals([] { runHandler(nullptr, [] { throw std::runtime_error("Something broke"); }); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Something broke.");
    EXPECT_EQ(seen[0].title, applicationTitle());
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
}

TEST(Notice, PlainDialogWithTheTextUnderTheApplicationTitle) {
    const auto seen = captureModals([] { showNotice(nullptr, "Ошибка создания файла"); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Ошибка создания файла");
    EXPECT_EQ(seen[0].title, applicationTitle());
    EXPECT_EQ(seen[0].objectName, "notice");
}

class MainWindow : public ::testing::Test {
protected:
    TfrmUprZagig window{std::make_unique<ScriptedDialogs>()};
};

TEST_F(MainWindow, StartsIdleWithPortOneAndAnEmptyChart) {
    EXPECT_EQ(window.windowTitle(), "Дарвелон v1.0");
    EXPECT_EQ(window.edtPortNumber->text(), "1");
    EXPECT_EQ(window.updPort->position(), 1);
    EXPECT_EQ(window.btnOpenPort->text(), "Открыть порт и файл");
    EXPECT_EQ(window.btnOpenFile->text(), "Открыть лог файл");
    EXPECT_EQ(window.Label1->text(), "COM");
    EXPECT_FALSE(window.recording());
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(window.Chart1->model().points(i).empty());
    EXPECT_EQ(window.Chart1->axisY()->min(), 0);
    EXPECT_EQ(window.Chart1->axisY()->max(), 0);
    EXPECT_FALSE(window.Decoder.HavePrevFrame);
    EXPECT_FALSE(window.LiveToggle);
}

TEST_F(MainWindow, ControlsSitWhereDesignedAndStayOnResize) {
    const std::pair<QWidget*, QRect> layout[] = {
        {window.Label1, {8, 8, 44, 24}},    {window.edtPortNumber, {64, 8, 25, 21}},
        {window.updPort, {89, 8, 16, 21}},  {window.btnOpenPort, {136, 8, 193, 33}},
        {window.Chart1, {0, 40, 761, 465}}, {window.btnOpenFile, {568, 8, 169, 25}}};
    window.resize(1200, 900);
    for (const auto& [w, rect] : layout) EXPECT_EQ(w->geometry(), rect) << w->objectName().toStdString();
    EXPECT_EQ(window.Label1->font().pixelSize(), 19);
    EXPECT_EQ(window.btnOpenPort->font().pixelSize(), 11);
}

TEST_F(MainWindow, TabOrderRunsEditSpinnerRecordChartReplay) {
    QWidget* expected[] = {window.updPort, window.btnOpenPort, window.Chart1, window.btnOpenFile};
    QWidget* w = window.edtPortNumber;
    for (QWidget* next : expected) {
        do w = w->nextInFocusChain();
        while ((w->parentWidget() != &window || !(w->focusPolicy() & Qt::TabFocus)) && w != next);
        EXPECT_EQ(w, next) << w->objectName().toStdString() << " " << w->metaObject()->className();
    }
}

TEST_F(MainWindow, SpinnerReadsTheEditBoxOnlyWhenItHoldsAValidPortNumber) {
    const std::pair<QString, int> typed[] = {{"7", 7},   {"abc", 7}, {"26", 7},   {"0", 7},
                                             {"25", 25}, {"", 25},   {"1.5", 25}, {"3", 3}};
    for (const auto& [text, position] : typed) {
        window.edtPortNumber->setText(text);
        EXPECT_EQ(window.updPort->position(), position) << text.toStdString();
    }
    window.updPort->setPosition(25);
    window.updPort->stepUp();
    EXPECT_EQ(window.edtPortNumber->text(), "25");
    window.edtPortNumber->setText("x");
    window.updPort->stepDown();
    EXPECT_EQ(window.edtPortNumber->text(), "24");
    window.updPort->setPosition(1);
    window.updPort->stepDown();
    EXPECT_EQ(window.updPort->position(), 1);
}

TEST_F(MainWindow, PortTooltipSaysWhatTheNumberStandsForWhenItIsShown) {
    const QTemporaryDir dataHome;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    window.updPort->setPosition(25);
    EXPECT_EQ(window.edtPortNumber->toolTip(), "COM25: устройство не найдено");
    // A simulator publishes COM25 while the window is open.
    const std::filesystem::path folder = std::filesystem::path(dataHome.path().toStdString()) / "darvelon" / "ports";
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink("/dev/null", folder / "com25");
    for (QWidget* control : {static_cast<QWidget*>(window.edtPortNumber), static_cast<QWidget*>(window.updPort)}) {
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), control->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(control, &hover);
        EXPECT_EQ(control->toolTip(), "COM25: /dev/null");
    }
    qputenv("XDG_DATA_HOME", saved);
}
