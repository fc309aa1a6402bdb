# The physics bridge stands on the rigid-body library (Debian's
# libbullet-dev, single precision). Its headers are the system's (an
# imported target's), so their own warnings stay out of ours.
target_link_libraries(engine_model_read PRIVATE PkgConfig::MORPOTTA_BULLET)
