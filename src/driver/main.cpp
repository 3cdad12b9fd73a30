#include "driver/player.h"

int main(int argc, char** argv) { return glowreel::RunPlayer(argc, argv); }
