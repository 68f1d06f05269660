// What the technician sees and types on the real windows, offscreen: the
// batch count box and the scan dialog's hold on the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"

using kv::test::waitUntil;

namespace {

// The dashboard started, the port dialog dismissed, the main window active.
struct Started {
    Started() : d(&messages) {
        d.start();
        waitUntil([&] { return d.mainWindow()->isVisible(); });
        auto* cancel = d.startupView()->findChild<QPushButton*>("cmdAction(1)");
        if (cancel && cancel->isVisible() && cancel->isEnabled()) QTest::mouseClick(cancel, Qt::LeftButton);
        d.mainWindow()->activateWindow();
        waitUntil([&] { return QApplication::activeWindow() == d.mainWindow(); }, 2000);
    }
    template <class W>
    W* widget(const char* name) {
        return qobject_cast<W*>(d.mainView()->widget(name));
    }
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d;
};

// Characters typed on a keyboard layout that has them (AltGr+E, a Cyrillic
// or Greek layout): one key press each, with the character as its text.
void typeCharacter(QWidget* target, QChar ch) {
    QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

TEST(CountBox, TakesOnlyDigitsAndItsFewCharactersWhateverTheKeyboard) {
    Started s;
    auto* count = s.widget<QLineEdit>("txtSetCounter");
    ASSERT_NE(count, nullptr);
    // Each of these is refused (with a beep), as a letter is.
    const struct {
        const char* name;
        QChar ch;
    } cases[] = {
        {"latin letter", QChar('x')},
        {"euro sign", QChar(0x20AC)},
        {"cyrillic letter", QChar(0x0416)},
        {"greek letter", QChar(0x03A9)},
    };
    for (const auto& c : cases) {
        count->setFocus();
        count->selectAll();
        QTest::keyClicks(count, "4");
        ASSERT_EQ(count->text().toStdString(), "4") << c.name;
        typeCharacter(count, c.ch);
        EXPECT_EQ(count->text().toStdString(), "4") << c.name;
        EXPECT_EQ(s.d.core().identityWrite.txtSetCounter.text(), "4") << c.name;
    }
}

TEST(ScanDialog, SetCounterAgainGivesTheOpenDialogTheKeyboard) {
    Started s;
    auto* count = s.widget<QLineEdit>("txtSetCounter");
    auto* setCounter = s.widget<QPushButton>("cmdSetCounter");
    ASSERT_NE(count, nullptr);
    ASSERT_NE(setCounter, nullptr);
    QWidget* dialog = s.d.setAssetView();
    QWidget* scanField = dialog->findChild<QWidget*>("txtScannedAsset");
    ASSERT_NE(scanField, nullptr);

    QTest::mouseClick(setCounter, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible() && QApplication::focusWidget() == scanField; }, 3000));

    // The technician goes back to the main window to correct the count and
    // presses SET COUNTER again; the dialog is still open behind it.
    s.d.mainWindow()->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == s.d.mainWindow(); }, 2000));
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "5");
    QTest::mouseClick(setCounter, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == scanField; }, 3000))
        << "the keyboard is with "
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "nothing");

    // So the scanner's code lands in the scan field, and starts the setting.
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClicks(target, "KV-9001");
    EXPECT_EQ(s.d.core().assetDialog.txtScannedAsset.text(), "KV-9001");
}

}  // namespace
