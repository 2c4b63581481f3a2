#include "app/DuskwardenApp.h"

int main(int argc, char** argv) { return duskwarden::DuskwardenApp::main(argc, argv); }
