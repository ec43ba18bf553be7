# uint64_t zoq_call_stdcall(const void* fn, const uint32_t* words, uint32_t count, int32_t* skew)  (i386)
# cdecl. Pushes the words (last first), calls fn, records how far the stack
# pointer ended from where it was before the pushes, and restores it.
# Beside the code every message runs through (ZOQ_HOT): every reply is sent
# through here.
        .section .text$zoq_hot,"xr"
        .globl  _zoq_call_stdcall
        .def    _zoq_call_stdcall; .scl 2; .type 32; .endef
_zoq_call_stdcall:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi
        movl    16(%ebp), %ecx
        movl    %esp, %edi
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        pushl   (%esi,%ecx,4)
        jmp     1b
2:      movl    8(%ebp), %ebx
        call    *%ebx
        movl    %esp, %ecx
        subl    %edi, %ecx
        movl    %edi, %esp
        movl    20(%ebp), %ebx
        movl    %ecx, (%ebx)
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
