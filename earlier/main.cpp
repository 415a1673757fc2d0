#include "app/edition.h"
#include "app/program.h"

int main(int argc, char* argv[]) {
    return quillon::runProgram(argc, argv, quillon::earlierEdition());
}
