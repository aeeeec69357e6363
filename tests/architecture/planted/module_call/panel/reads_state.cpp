// Planted violation: a folder other than api reaching the module state.
void Touch() { lumbrel::Module().frontPanel; }
