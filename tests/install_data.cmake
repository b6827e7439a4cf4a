# An install folder whose version marker stands for a full disk: Linux's /dev/full takes
# the marker's bytes into the stream's buffer and refuses them when the stream is closed.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-data/full-disk-marker)
file(CREATE_LINK /dev/full ${CMAKE_BINARY_DIR}/test-data/full-disk-marker/.hollowmere-version SYMBOLIC)
