#include <QAbstractButton>
#include <QMainWindow>
#include <QMessageBox>
#include <QtTest>
#include <thread>

#include "platform/qt/qt_user_prompt.h"

namespace vorlanx {

// Answers the next message box as soon as it shows, keeping what it looked like.
struct SeenBox {
    QString title;
    QString text;
    QWidget* parent = nullptr;
    bool seen = false;
};

static void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return AnswerNextBox(seen, button);  // not shown yet: look again
        seen = {box->windowTitle(), box->text(), box->parentWidget(), true};
        box->button(button)->click();
    });
}

class QtUserPromptTest : public QObject {
    Q_OBJECT

  private slots:
    void captionsAndOwners() {
        QMainWindow modeWindow;
        modeWindow.show();
        QtUserPrompt prompt;
        const QString appTitle = QFileInfo(QApplication::applicationFilePath()).fileName();
        struct Case {
            PromptRequest request;
            QString title;  // as shown, blanks trimmed
            bool ownedByModeWindow;
        };
        const Case cases[] = {
            {{"Unable to listen", "t", PromptButtons::Ok, PromptIcon::Error, true}, "Unable to listen",
             true},
            {{"", "t", PromptButtons::Ok, PromptIcon::None, false}, appTitle, false},
            {{"", "Please choose an interface.", PromptButtons::Ok, PromptIcon::None, false, true},
             "", false},
            {{"ignored", "t", PromptButtons::Ok, PromptIcon::None, true, true}, "", true},
        };
        for (const Case& c : cases) {
            SeenBox seen;
            AnswerNextBox(seen, QMessageBox::Ok);
            QCOMPARE(prompt.ask(c.request), PromptAnswer::Ok);
            QVERIFY(seen.seen);
            QCOMPARE(seen.title.trimmed(), c.title);
            QCOMPARE(seen.text, QString::fromStdString(c.request.text));
            QCOMPARE(seen.parent, c.ownedByModeWindow ? &modeWindow : nullptr);
        }
    }

    // A worker waits for the answer the user gives on the user-interface thread.
    void aWorkerGetsTheAnswer() {
        QtUserPrompt prompt;
        SeenBox seen;
        AnswerNextBox(seen, QMessageBox::No);
        PromptAnswer answer = PromptAnswer::Cancel;
        std::thread worker([&] {
            answer = prompt.ask({"Switch modes?", "q", PromptButtons::YesNo, PromptIcon::Question});
        });
        QTRY_VERIFY(seen.seen);
        worker.join();
        QCOMPARE(answer, PromptAnswer::No);
    }
};

}  // namespace vorlanx

QTEST_MAIN(vorlanx::QtUserPromptTest)
#include "qt_user_prompt_test.moc"
