#include "control/CommandLine.h"
#include "gui/frm_Tarvel.h"

int main(int argc, char** argv) { return tarvel::RunTarvel(argc, argv, tarvel::RunWindow); }
