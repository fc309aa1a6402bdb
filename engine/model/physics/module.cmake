# The physics bridge stands on the rigid-body library (Debian's
# libbullet-dev, single precision). Its headers are the system's, so their
# own warnings stay out of ours.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BULLET REQUIRED bullet)
target_include_directories(engine_model_read SYSTEM PRIVATE ${BULLET_INCLUDE_DIRS})
target_link_libraries(engine_model_read PRIVATE BulletDynamics BulletCollision LinearMath)
