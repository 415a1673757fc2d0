#include "app/program.h"
#include "core/edition.h"

int main(int argc, char* argv[]) {
    return quillon::runProgram(argc, argv, quillon::fullEdition());
}
