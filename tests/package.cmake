# The release archives: scripts/package builds them in a folder of its own
# (package-build/, an optimised build of the shipped targets and examples
# only), and check_package.py unpacks them into an empty folder, checks them,
# and runs the C++ example built from the archive against the test server.
# The first run configures and builds from scratch (about a minute on two
# cores); later runs rebuild only what changed. A high cost starts it early,
# so that it overlaps the other tests instead of trailing them.
add_test(NAME package
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/package/check_package.py
        --build ${CMAKE_BINARY_DIR}/package-build --dist ${CMAKE_BINARY_DIR}/package-dist
        --cxx ${CMAKE_CXX_COMPILER} --ports ${OAUTH_SERVER_STATE}/ports.json
        --wine-run ${CMAKE_BINARY_DIR}/wine-run.sh)
set_tests_properties(package PROPERTIES TIMEOUT 900 COST 10000 PROCESSORS 2
    FIXTURES_REQUIRED auth_server)
