// The "Serial Port:" box. Its own items (COM1..COM9) stay first; every time the
// engineer opens the list, the network ports used before and the serial
// devices present now are listed after them, so an adapter plugged in or pulled out shows at the next look. What
// the engineer typed is never replaced. A path too long for the box is elided
// in the middle while the box is not being edited, with the whole path in
// the box's tooltip.
#pragma once

#include <QComboBox>
#include <functional>
#include <string>
#include <vector>

#include "serial/portlist.h"

class TPortComboBox : public QComboBox {
    Q_OBJECT
public:
    using Discovery = std::function<std::vector<TPortInfo>()>;

    explicit TPortComboBox(QWidget* parent = nullptr);

    // Where the devices come from (Qt Serial Port's port information by default).
    void SetDiscovery(Discovery discovery);
    // Network ports opened before, newest first, listed after the own items.
    void SetRecentPorts(std::vector<std::string> recent) { recent_ = std::move(recent); }
    const std::vector<std::string>& RecentPorts() const { return recent_; }
    void RefreshPorts();
    void showPopup() override;

    // Item data: what the list shows after an entry's text (TPortItem::note).
    static constexpr int kNoteRole = Qt::UserRole + 1;

    // The longest name the box shows without eliding.
    static constexpr const char* kWidestShortName = "/dev/ttyUSB10";

protected:
    void changeEvent(QEvent* event) override;

private:
    void FitWidth();
    void UpdateToolTip();

    Discovery discovery_;
    std::vector<std::string> recent_;
    int fixedCount_ = -1;  // the window's own items, counted before the first refresh
};

// The recent network ports kept between runs, one a line, in the state folder.
std::vector<std::string> LoadRecentPorts();
void SaveRecentPorts(const std::vector<std::string>& recent);
