// The one application object of Kivrel.exe.
#include "kivrel_app.h"

CKivrelApp theApp;
