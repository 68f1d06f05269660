#include "desktop/Dashboard.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "desktop/Layouts.h"
#include "desktop/Widgets.h"

namespace kv::desktop {

namespace {

// Runs `then` once, in the event loop's next pass after the watched window's
// first paint.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* watched, std::function<void()> then) : QObject(watched), then_(std::move(then)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, then_);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

void applyProgramSettings() {
    QApplication::setApplicationName(platform::kAppTitle);
    QApplication::setQuitOnLastWindowClosed(false);  // the main window's unload ends the program
}

Dashboard::Dashboard(platform::MessageBox* messages)
    : records_(SqliteRecordStore::defaultPath(), SqliteRecordStore::defaultStation()),
      platform_{port_,   probe_,   settings_, folders_, fileDialog_, messages ? *messages : messageBox_,
                beep_,   events_,  pointer_,  screen_,  clock_,      timers_,
                locale_, &records_, &servers_},
      main_(std::make_unique<app::frmMain>(platform_)) {}

Dashboard::~Dashboard() {
    delete recordStoreView_;
    delete recordsView_;
    delete setAssetView_;
    delete settingsView_;
    delete startupView_;
    delete progressView_;
    delete mainWindow_;
    main_.reset();
}

void Dashboard::start() {
    app::frmMain& m = *main_;
    mainWindow_ = new QMainWindow;
    mainWindow_->resize(kMainWidth, kMainHeight + mainWindow_->menuBar()->sizeHint().height());
    buildMenus();
    bindWindow(mainWindow_, m.window);

    progressView_ = new FormView(m.progress.window, progressLayout());
    progressView_->setFixedSize(420, 82);
    progressView_->setWindowFlag(Qt::Tool);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        progressView_->move(screen->availableGeometry().center() - progressView_->rect().center());
    bindWindow(progressView_, m.progress.window);

    startupView_ = new FormView(m.startup.window, startupLayout());
    startupView_->setFixedSize(300, 130);
    startupView_->setWindowFlag(Qt::Dialog);
    bindWindow(startupView_, m.startup.window);

    settingsView_ = new FormView(m.settings.window, settingsLayout());
    settingsView_->setFixedSize(468, 206);
    settingsView_->setWindowFlag(Qt::Dialog);
    bindWindow(settingsView_, m.settings.window);

    setAssetView_ = new FormView(m.assetDialog.window, setAssetLayout());
    setAssetView_->setFixedSize(420, 172);
    setAssetView_->setWindowFlag(Qt::Dialog);
    bindWindow(setAssetView_, m.assetDialog.window);

    recordsView_ = new FormView(m.records.window, recordsLayout());
    recordsView_->resize(900, 520);
    recordsView_->setWindowFlag(Qt::Window);
    if (QWidget* table = recordsView_->widget("grdRecords")) {
        recordsView_->onResize = [this, table](QSize s) {
            table->setGeometry(8, 96, s.width() - 16, s.height() - 104);
        };
    }
    bindWindow(recordsView_, m.records.window);

    recordStoreView_ = new FormView(m.recordStore.window, recordStoreLayout());
    recordStoreView_->setFixedSize(420, 206);
    recordStoreView_->setWindowFlag(Qt::Dialog);
    bindWindow(recordStoreView_, m.recordStore.window);

    // The port dialog is what the technician acts on first: the main
    // window's two hundred controls are made and shown once it has been
    // drawn (a few tens of milliseconds later, behind it), or after 100 ms
    // should it not be drawn.
    auto showMain = [this] { (void)mainView(); };
    QTimer::singleShot(100, mainWindow_, showMain);
    new AfterFirstPaint(startupView_, showMain);
    m.Form_Load();
}

FormView* Dashboard::mainView() {
    if (!mainView_ && mainWindow_) {
        app::frmMain& m = *main_;
        mainView_ = new FormView(m.window, mainLayout());
        mainView_->setMinimumSize(400, 300);
        mainView_->onResize = [&m](QSize s) { m.Form_Resize(s.width() * 15, s.height() * 15); };
        mainWindow_->setCentralWidget(mainView_);
        if (mainWindow_->isVisible()) mainView_->show();  // else at the layout's next pass
    }
    return mainView_;
}

void Dashboard::buildMenus() {
    ui::Window& w = main_->window;
    const std::pair<const char*, std::vector<const char*>> menus[] = {
        {"mnuOptions", {"mnuSettings", "mnuRecordStore"}},
        {"mFile", {"mOpnFile", "mSaveFile", "mRecords"}},
    };
    for (const auto& [top, items] : menus) {
        ui::MenuItem& topModel = w.menu(top);
        QMenu* menu = mainWindow_->menuBar()->addMenu(toQt(topModel.caption()));
        for (const char* name : items) {
            ui::MenuItem& model = w.menu(name);
            QAction* action = menu->addAction(toQt(model.caption()));
            action->setObjectName(name);
            QObject::connect(action, &QAction::triggered, [&model] { model.click(); });
            follow(mainWindow_, model, [action, &model] {
                action->setText(toQt(model.caption()));
                action->setEnabled(model.enabled());
                action->setVisible(model.visible());
            }, Follow::Immediately);
        }
    }
}

}  // namespace kv::desktop
