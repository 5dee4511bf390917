// Takes docs/ports.png: the real window, opened on the simulated module, with
// the "Serial Port:" list open and an entry's tooltip. Run it under a virtual
// display: xvfb-run -a -s "-screen 0 1280x900x24" build/shoot_ports docs/ports.png
//
// Qt's port information does not list pseudo-terminals, so for this picture
// the simulator's device is added to what Qt finds, described as what it is.
#include <QAbstractItemView>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <cstdio>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "ui/portcombobox.h"
#include "session/portdiscovery.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    TApplication app(argc, argv);
    TavrixModule module;
    SimServer server(module, SimOptions{});
    const std::string device = server.Open();
    server.Start();

    TForm1 window;
    Ui::TForm1* ui = window.form();
    ui->SPREALCOM->SetDiscovery([device] {
        std::vector<TPortInfo> ports = DiscoverSerialPorts();
        ports.push_back({device, {}, "Simulated Tavrix module (tavrix-sim)", "", "", -1, -1});
        return ports;
    });
    window.resize(1024, 768);
    window.move(0, 0);
    window.show();
    ui->SPREALCOM->setEditText(QString::fromStdString(device));
    ui->Button1->click();
    ui->Button6->click();

    int status = 1;
    // After the reply (about a second), open the list, then point at the simulator.
    QTimer::singleShot(2000, &window, [&] {
        ui->SPREALCOM->showPopup();
        QTimer::singleShot(300, &window, [&] {
            QAbstractItemView* view = ui->SPREALCOM->view();
            const QModelIndex item =
                view->model()->index(ui->SPREALCOM->findText(QString::fromStdString(device)), 0);
            view->setCurrentIndex(item);
            const QRect rect = view->visualRect(item);
            QToolTip::showText(view->viewport()->mapToGlobal(rect.center() + QPoint(40, 12)),
                               item.data(Qt::ToolTipRole).toString(), view);
            QTimer::singleShot(700, &window, [&] {
                const QRect area = window.frameGeometry().united(
                    QRect(0, 0, 1024, window.frameGeometry().height()));
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
                    0, area.x(), area.y(), area.width(), area.height());
                status = shot.save(out) ? 0 : 1;
                ui->SPREALCOM->hidePopup();
                window.Link1->Close();
                app.quit();
            });
        });
    });
    app.exec();
    server.Stop();
    return status;
}
