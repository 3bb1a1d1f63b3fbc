#ifndef WINCUE_EXECUTE_H
#define WINCUE_EXECUTE_H

/* Runs the step at currentStep with the executor of its action word;
 * an unknown word does nothing. */
void ExecuteStep(void);

/* True when the step at currentStep picks windows (Enable, Display, Find,
 * Gone). */
bool IsWindowStep(void);

#endif
