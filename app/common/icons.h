// The program's small images, drawn in code so that they scale with the device pixel ratio and
// need no image files: output levels, component tree images, toolbar buttons, the application.
#pragma once

#include <QIcon>

// 1 warning triangle, 2 information sign, 3 beetle (debug); a null icon otherwise.
QIcon LevelIcon(int level);

// Component tree images: 0 root, 1 type, 2 instance, 3 type with the alternate mark,
// 4 instance with the alternate mark (a lightning bolt over the gear or the chip).
enum TreeImage {
    IMG_ROOT = 0,
    IMG_TYPE = 1,
    IMG_INSTANCE = 2,
    IMG_TYPE_ALT = 3,
    IMG_INSTANCE_ALT = 4
};
QIcon TreeIcon(int image);

// Toolbar images by command id; a null icon for commands without one.
QIcon CommandIcon(int commandId);

QIcon ApplicationIcon();
