// QMVT04Setup: installs the task package it carries. No arguments, no window of its own.
#include "installer/Installer.h"

int main() { return orb::installer::RunMain(orb::installer::DefaultServices()); }
