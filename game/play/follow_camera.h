// The play camera: it looks straight along +z at the field, pulls back to
// keep every cat in view, keeps the field's edges on screen, eases toward
// its target and rolls back to upright after a field turn.
#pragma once

class CatActor;

struct FollowCamera {
    float current[3];  // the eye
    float target[3];   // where the eye is going
    float fieldDepth;  // z of the tile plane
    float roll;        // frames of roll left; the sign gives the direction
    float rollAngle;   // degrees of roll last applied to the engine camera
};

// The camera's target over the cats of the four slots and their riders
// (null slots are skipped; at least one cat is needed). zOffset pulls the
// camera back further.
void FitCameraToCats(const CatActor* const cats[4], FollowCamera& camera, int columns, int rows, float zOffset);
// One frame: eases toward the target, steps the roll and sets the engine
// camera.
void UpdateCameraFollow(FollowCamera& camera);
// Sets the engine camera from the camera as last applied (a copied stage
// puts its own view back before a frame).
void ApplyFollowCamera(const FollowCamera& camera);
