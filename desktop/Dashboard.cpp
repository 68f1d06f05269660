#include "desktop/Dashboard.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

#include "desktop/Layouts.h"
#include "desktop/Widgets.h"

namespace kv::desktop {

void applyProgramSettings() {
    QApplication::setApplicationName(platform::kAppTitle);
    QApplication::setQuitOnLastWindowClosed(false);  // the main window's unload ends the program
}

Dashboard::Dashboard(platform::MessageBox* messages)
    : platform_{port_, probe_, settings_, folders_, fileDialog_, messages ? *messages : messageBox_,
                beep_, events_, pointer_, screen_, clock_, timers_, locale_},
      main_(std::make_unique<app::frmMain>(platform_)) {}

Dashboard::~Dashboard() {
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
    mainView_ = new FormView(m.window, mainLayout());
    mainWindow_->setCentralWidget(mainView_);
    mainView_->setMinimumSize(400, 300);
    mainWindow_->resize(kMainWidth, kMainHeight + mainWindow_->menuBar()->sizeHint().height());
    mainView_->onResize = [&m](QSize s) { m.Form_Resize(s.width() * 15, s.height() * 15); };
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
    settingsView_->setFixedSize(456, 206);
    settingsView_->setWindowFlag(Qt::Dialog);
    bindWindow(settingsView_, m.settings.window);

    setAssetView_ = new FormView(m.assetDialog.window, setAssetLayout());
    setAssetView_->setFixedSize(420, 172);
    setAssetView_->setWindowFlag(Qt::Dialog);
    bindWindow(setAssetView_, m.assetDialog.window);

    m.Form_Load();
}

void Dashboard::buildMenus() {
    ui::Window& w = main_->window;
    const std::pair<const char*, std::vector<const char*>> menus[] = {
        {"mnuOptions", {"mnuSettings"}},
        {"mFile", {"mOpnFile", "mSaveFile"}},
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
