// Render action of the effect operators (being built).
#include "operator/operator.h"

int renderField(ActionRecord *)
{
    return -1;
}
