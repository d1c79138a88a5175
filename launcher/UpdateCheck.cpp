#include "launcher/UpdateCheck.h"

void CheckForUpdate(TF_one *)
{
    // Filled in by the update-check work.
}
