// The MODBUS test request against a MODBUS RTU slave no one here wrote:
// libmodbus, serving on a pseudo-terminal.
#include <gtest/gtest.h>

#ifdef TAVRIX_HAVE_LIBMODBUS

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "modbus/crc16.h"
#include "protocol/hexbytes.h"
#include "ui/tform1.h"
#include "ui_tform1.h"
#include "window_helpers.h"

namespace {

// A pseudo-terminal pair in raw mode; we keep the slave open so the line
// never reports a hang-up while no one else holds it.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;

    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        path = name;
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

// Both the tool and libmodbus open a terminal by path, so each gets its own
// pseudo-terminal and a thread copies bytes between the two master sides.
class PtyBridge {
public:
    PtyBridge() : stop_(eventfd(0, EFD_CLOEXEC)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyBridge() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(stop_, &one, sizeof one);
        thread_.join();
        close(stop_);
    }
    const std::string& toolPath() const { return tool_.path; }
    const std::string& peerPath() const { return peer_.path; }

private:
    void Run() {
        for (;;) {
            pollfd fds[3] = {
                {stop_, POLLIN, 0}, {tool_.master, POLLIN, 0}, {peer_.master, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[0].revents) return;
            if (fds[1].revents & POLLIN) Copy(tool_.master, peer_.master);
            if (fds[2].revents & POLLIN) Copy(peer_.master, tool_.master);
        }
    }
    static void Copy(int from, int to) {
        uint8_t buffer[512];
        const ssize_t n = read(from, buffer, sizeof buffer);
        for (ssize_t done = 0; n > 0 && done < n;) {
            const ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
            if (w <= 0) return;
            done += w;
        }
    }

    Pty tool_, peer_;
    int stop_;
    std::thread thread_;
};

// libmodbus as the slave: answers every request addressed to `slave` from a
// register map, and records the requests it received.
class LibmodbusSlave {
public:
    LibmodbusSlave(const std::string& path, int slave, const std::vector<uint16_t>& registers)
        : ctx_(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1)),
          map_(modbus_mapping_new(0, 0, static_cast<int>(registers.size()), 0)) {
        if (!ctx_ || !map_) throw std::runtime_error("libmodbus setup failed");
        std::copy(registers.begin(), registers.end(), map_->tab_registers);
        modbus_set_slave(ctx_, slave);
        if (modbus_connect(ctx_) != 0) throw std::runtime_error(modbus_strerror(errno));
        // Wakes up now and then to notice the end of the test.
        modbus_set_indication_timeout(ctx_, 0, 100000);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave() {
        stop_ = true;
        thread_.join();
        modbus_close(ctx_);
        modbus_free(ctx_);
        modbus_mapping_free(map_);
    }
    std::vector<std::vector<uint8_t>> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int n = modbus_receive(ctx_, query);
            if (n <= 0) continue;  // timeout, or a frame for another slave
            {
                std::lock_guard lock(mutex_);
                requests_.emplace_back(query, query + n);
            }
            modbus_reply(ctx_, query, n, map_);
        }
    }

    modbus_t* ctx_;
    modbus_mapping_t* map_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests_;
    std::thread thread_;
};

TEST(ModbusPeer, LibmodbusSlaveAnswersTheTestRequest) {
    PtyBridge bridge;
    LibmodbusSlave peer(bridge.peerPath(), 7, {0x1111, 0x2222, 0x4120, 0x0000, 0xABCD});

    TForm1 form;
    form.show();
    Ui::TForm1* ui = form.form();
    ModalWatcher messages;
    ui->SPREALCOM->setEditText(QString::fromStdString(bridge.toolPath()));
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    ui->PageControl1->setCurrentWidget(ui->TabSheet3);

    ui->Edit18->setText("007");
    ui->Edit19->setText("1");
    ui->Edit20->setText("3");
    Click(ui->Button4);
    std::vector<uint8_t> reply = {0x07, 0x03, 0x06, 0x22, 0x22, 0x41, 0x20, 0x00, 0x00};
    const auto crc = ModbusCrc16(reply);
    reply.insert(reply.end(), crc.begin(), crc.end());
    const QString expected = QString::fromStdString(HexTextTrailingBlank(reply));
    EXPECT_TRUE(WaitFor([&] { return ui->Memo10->toPlainText() == expected; }, 5000))
        << ui->Memo10->toPlainText().toStdString();

    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(QString::fromStdString(HexTextTrailingBlank(requests[0])), ui->Edit8->text());
    EXPECT_EQ(ui->Edit8->text(), "07 03 00 01 00 03 54 6D ");

    // A range past the map: libmodbus answers with exception 02, shown as is.
    ui->Edit19->setText("4");
    ui->Edit20->setText("2");
    Click(ui->Button4);
    std::vector<uint8_t> exception = {0x07, 0x83, 0x02};
    const auto ecrc = ModbusCrc16(exception);
    exception.insert(exception.end(), ecrc.begin(), ecrc.end());
    const QString shown = QString::fromStdString(HexTextTrailingBlank(exception));
    EXPECT_TRUE(WaitFor([&] { return ui->Memo10->toPlainText() == shown; }, 5000))
        << ui->Memo10->toPlainText().toStdString();
    form.Link1->Close();
}

}  // namespace

#endif
