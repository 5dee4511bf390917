// MODBUS test request and IEEE 754 calculator.
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::Button4Click() {}
void TForm1::Button13Click() {}
