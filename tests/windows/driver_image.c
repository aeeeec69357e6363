/* The code of the test driver images: they only carry a version resource. */
int lumbrel_test_driver_image(void) { return 0; }
