#include "engine/CTimerProgress.h"

void CTimerProgress::Constructor() {}
void CTimerProgress::Event_Action() {}
