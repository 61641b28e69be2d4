// The process entry: everything else lives in the program's library.
#include "app/Entry.h"

int main(int argc, char** argv)
{
    return zorlin::main(argc, argv);
}
