#pragma once

class TF_one;

// The update check, run by the launcher's create handler before the launcher is ever shown.
void CheckForUpdate(TF_one *launcher);
