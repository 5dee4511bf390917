// MODBUS test request and IEEE 754 calculator.
#include <QLocale>
#include <string>
#include <vector>

#include "exchange/requestcodes.h"
#include "modbus/ieee754.h"
#include "modbus/request.h"
#include "protocol/hexbytes.h"
#include "protocol/strtoint.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

// Edit18 slave address (follows Edit14), Edit19 start register, Edit20 count.
void TForm1::Button4Click() {
    ClearTraffic();
    const int slave = StrToInt(FieldBytes(ui->Edit18));
    const int start = StrToInt(FieldBytes(ui->Edit19));
    const int count = StrToInt(FieldBytes(ui->Edit20));
    const ModbusRequest frame = ReadHoldingRegistersRequest(slave, start, count);
    ModbusTestStart = frame[3];
    SendRequest(PutTx(std::string(frame.begin(), frame.end())), kCodeModbusTest, true);
}

// Edit7 holds up to four register bytes as hex groups, most significant
// first; Edit22 gets their single-precision value, or keeps its text.
void TForm1::Button13Click() {
    const std::string typed = TextBytes(ui->Edit7->text());
    // One group more than the separators account for, so a trailing blank
    // leaves an empty group that is refused.
    const int groups = static_cast<int>(typed.size() / 3) + 1;
    if (!HexSeparatorsOk(typed, groups)) {
        ShowMessage("Input data contains no spaces");
        return;
    }
    std::vector<uint8_t> bytes;
    if (!ReadHexGroups(typed, groups, bytes)) {  // throws for a blank low digit
        ShowMessage("Invalid characters detected. Please re-enter!");
        return;
    }
    QString value = QString::fromLatin1(CalculatorText(bytes));
    ui->Edit22->setText(value.replace(u'.', QLocale().decimalPoint()));
}
