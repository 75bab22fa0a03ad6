// The nine looks of the frame (ids 210 to 218). How each paints is ours; the ids, the stored
// value "ApplicationLook" and the check mark are fixed.
#pragma once

bool IsLookId(int id);
// Applies the look to the whole application (style and palette).
void ApplyLook(int id);
