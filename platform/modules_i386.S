# The way out of a ZOQ_EXPORT_RELEASING_MODULE export (i386), entered by a
# jump with the export's return address on top of the stack and its body in
# eax. The body returns the result in eax and the module to release in edx.
# With a module, the stack is laid out so that FreeLibrary(module) returns
# into SetLastError(result), which returns into GetLastError, which returns
# the result to the export's caller with the stack as a stdcall function
# without arguments leaves it: nothing of the module runs after FreeLibrary.
        .text
        .globl _zoq_ReturnReleasingModule
_zoq_ReturnReleasingModule:
        call *%eax
        testl %edx, %edx
        jz 1f
        pushl %eax
        pushl __imp__GetLastError@0
        pushl %edx
        pushl __imp__SetLastError@4
        jmp *__imp__FreeLibrary@4
1:      ret
