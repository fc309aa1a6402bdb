// Pi for the angles of the generated models and pictures.
#pragma once

constexpr float kPi = 3.14159265f;
