#include "app/Startup.h"

int main(int argc, char** argv)
{
    return quadrantel::app::Run(argc, argv);
}
