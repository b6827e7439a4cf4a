# A partial download file that stands for a full disk: Linux's /dev/full takes writes
# into a stream's buffer and refuses them when the stream is flushed at its close.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-data/full-disk)
file(CREATE_LINK /dev/full ${CMAKE_BINARY_DIR}/test-data/full-disk/client.zip.download SYMBOLIC)
