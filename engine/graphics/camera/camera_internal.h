// Shared by the camera, light and billboard files.
#pragma once

void ReapplyCamera();
void ResetCamera();
void ReapplyLights();
void ResetLights();
