// Configuration commands: queries, set commands, current output, coefficients,
// monitoring and custom HART command settings.
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::Button23Click() {}
void TForm1::Button8Click() {}
void TForm1::Button31Click() {}
void TForm1::Button24Click() {}
void TForm1::Button29Click() {}
void TForm1::Button27Click() {}
void TForm1::Button30Click() {}
void TForm1::Button32Click() {}
void TForm1::Button33Click() {}
void TForm1::Button12Click() {}
void TForm1::Button21Click() {}
void TForm1::Button60Click() {}
void TForm1::Button2Click() {}
void TForm1::Button3Click() {}
void TForm1::Button5Click() {}
void TForm1::Button10Click() {}
void TForm1::Button34Click() {}
void TForm1::D2M4KeyPress(char&) {}
void TForm1::D2M20KeyPress(char&) {}
void TForm1::D3M4KeyPress(char&) {}
void TForm1::D3M20KeyPress(char&) {}
void TForm1::D4M4KeyPress(char&) {}
void TForm1::D4M20KeyPress(char&) {}
void TForm1::Button9Click() {}
void TForm1::Button17Click() {}
void TForm1::Button18Click() {}
void TForm1::Button11Click() {}
void TForm1::Button28Click() {}
void TForm1::Button22Click() {}
void TForm1::Button25Click() {}
void TForm1::Button19Click() {}
