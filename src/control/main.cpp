#include "control/CommandLine.h"

int main(int argc, char** argv)
{
    return tarvel::RunTarvel(argc, argv, nullptr);
}
