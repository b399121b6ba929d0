#pragma once

extern const char kTexloomVersionText[];
