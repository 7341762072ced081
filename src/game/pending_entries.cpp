// Main menu entries whose modules have not landed yet answer with the spoken refusal the
// game uses for any operation it cannot carry out. Each definition moves to its module
// (online scores) when that module arrives.
#include "game/main_form.h"

namespace zorvan {

void MainForm::scoreStuf() { errorShow(); }
void MainForm::leaveScoreClient() {}

}  // namespace zorvan
