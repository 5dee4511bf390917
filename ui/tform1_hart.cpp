// HART transparent mode: command 0, 3 and 6 frames, typed frames, and the
// decoding of the command 0 and 3 replies.
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::Button7Click() {}
void TForm1::Button16Click() {}
void TForm1::Button14Click() {}
void TForm1::Button20Click() {}
void TForm1::DecodeHartDeviceReply() {}
void TForm1::DecodeHartCommandReply() {}
