// Board wiring test: drives the CPU's boundary-scan outputs with a changing pattern until ESC.
#pragma once

void ktr5200_toggle_test(char* image, int mode);
void uln_toggle_test(char* image, int mode);
void paxon_toggle_test(char* image, int mode);
void mirta_toggle_test(char* image, int mode);
